#pragma once
// TfOption "各種設定": the slideshow interval, the number of transfer buttons,
// numbering on name collisions, the external applications and the Susie
// plug-in folder. It edits copies; OK applies the dialog's part to the
// settings (ApplyOptionDialogSide), Cancel nothing.
#include "dialogs/BrowseFolder.h"
#include "dialogs/OptionApply.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QToolButton;
class QFrame;
class TArrowSpinEdit;

class TfOption : public QDialog {
    Q_OBJECT
public:
    // settings: the settings OK writes into; applications: the main window's
    // external application list; target: the main window's side of OK.
    TfOption(QWidget* owner, Settings& settings, const QStringList& applications, IOptionTarget& target);
    ~TfOption() override;

    // The choices as they stand in the controls.
    OptionChoice Choice() const;
    // The entries of the application list box.
    QStringList Applications() const;

    // Controls, by their names.
    QFrame* Panel1() const { return m_panel1; }
    TArrowSpinEdit* SpinEdit1() const { return m_spin1; }
    TArrowSpinEdit* SpinEdit2() const { return m_spin2; }
    TArrowSpinEdit* SpinEdit3() const { return m_spin3; }
    QGroupBox* numbering1() const { return m_numbering; }
    int NumberingIndex() const; // 0 "on", 1 "off", -1 none
    void SetNumberingIndex(int index);
    QGroupBox* GroupBox1() const { return m_group1; }
    QListWidget* ListBox1() const { return m_list; }
    QToolButton* SpeedButton(int n) const { return m_speed[n - 1]; }
    QGroupBox* GroupBox2() const { return m_group2; }
    QLineEdit* Edit1() const { return m_edit1; }
    QCheckBox* AutoRotate1() const { return m_autoRotate; }
    QPushButton* BitBtn1() const { return m_ok; }
    QPushButton* BitBtn2() const { return m_cancel; }
    TplBrowseFolder& plBrowseFolder1() { return *m_browse; }

    void BitBtn1Click();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton5Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void FormShow();

    Settings& m_settings;
    QStringList m_applications;
    IOptionTarget& m_target;
    QString m_pluginBrowseFolder;
    std::unique_ptr<TplBrowseFolder> m_browse;

    QFrame* m_panel1 = nullptr;
    TArrowSpinEdit* m_spin1 = nullptr;
    TArrowSpinEdit* m_spin2 = nullptr;
    TArrowSpinEdit* m_spin3 = nullptr;
    QGroupBox* m_numbering = nullptr;
    QRadioButton* m_numberingOn = nullptr;
    QRadioButton* m_numberingOff = nullptr;
    QGroupBox* m_group1 = nullptr;
    QListWidget* m_list = nullptr;
    QToolButton* m_speed[5] = {};
    QGroupBox* m_group2 = nullptr;
    QLineEdit* m_edit1 = nullptr;
    QCheckBox* m_autoRotate = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};
