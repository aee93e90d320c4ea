#pragma once
// TfMsgDialog: a small borderless window that confirms a finished file
// operation in large letters and closes itself after one second.
#include <QDialog>

class QFrame;
class QLabel;
class QTimer;

class TfMsgDialog : public QDialog {
    Q_OBJECT
public:
    // center: the rectangle (outer geometry) of the main window to centre on.
    explicit TfMsgDialog(QWidget* parent = nullptr);

    void SetText(const QString& text);
    QString Text() const;
    void SetCenterRect(const QRect& rect) { m_center = rect; }

    QLabel* StaticText1() const { return m_text; }
    QTimer* Timer1() const { return m_timer; }

    // Left/top of a window of the given size centred over the rectangle.
    static QPoint CenteredPosition(const QRect& over, const QSize& own);

    // Shows the text modally over the main window until the timer closes it.
    static void ShowMessage(QWidget* mainWindow, const QString& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void owari();

    QFrame* m_panel = nullptr;
    QLabel* m_text = nullptr;
    QTimer* m_timer = nullptr;
    QRect m_center;
};
