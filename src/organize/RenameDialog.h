#pragma once
// TfRename: the new-name prompt used by the rename command and by the
// transfer engine when a name is taken in the destination.
#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

class TfRename : public QDialog {
    Q_OBJECT
public:
    explicit TfRename(QWidget* parent = nullptr);

    QLabel* Label1() const { return m_label1; }
    QLabel* Label2() const { return m_label2; }
    QLineEdit* Edit1() const { return m_edit; }
    QPushButton* BitBtn1() const { return m_ok; }
    QPushButton* BitBtn2() const { return m_cancel; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* m_label1 = nullptr;
    QLabel* m_label2 = nullptr;
    QLineEdit* m_edit = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

// Asks for a new name of the file `name` in `folder` (only shown). Returns
// the name with the old extension added when the typed one has none, or
// empty when cancelled.
QString InputNewName(const QString& folder, const QString& name, QWidget* parent = nullptr);

// Answers the prompt instead of showing it (tests): the handler gets the
// filled dialog, may edit Edit1 and returns true for OK. Empty restores it.
void SetRenameDialogHandlerForTesting(std::function<bool(TfRename&)> handler);
