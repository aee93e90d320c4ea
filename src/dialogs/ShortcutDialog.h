#pragma once
// TfShortCut "ショートカットの作成": writes a shortcut (on this platform a
// desktop entry "<name>.desktop") that starts the program on a picture folder
// with start switches. The last successful choices are kept in the
// [ShortCut] settings.
#include "dialogs/BrowseFolder.h"
#include "settings/Settings.h"

#include <QDialog>
#include <QStringList>

#include <memory>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class TArrowSpinEdit;

// The choices the switches are made of.
struct ShortcutChoice {
    QString PictureFolder;
    int Interval = 2; // seconds
    int IntervalM = 0; // milliseconds
    bool Auto = true, Box = false, Button = false, Full = true, Zoom = true;
    int Repeat = -1; // 1 On, 0 Off, anything else Exit
};

// The seconds of an interval in the shortest general decimal form of the
// user's locale: 2, 2.5, 0.3, 20.
QString IntervalSecondsText(int interval, int intervalM);
// The arguments a shortcut gives the program: the picture folder, then
// /Time=, /Auto=, /Box=, /Button=, /Full=, /Zoom=, /Repeat= in this order.
QStringList MakeSwitchArguments(const ShortcutChoice& choice);
// The same as one command-line text: the folder in double quotes, then each
// switch preceded by one blank.
QString MakeSwitchLine(const ShortcutChoice& choice);

class TfShortCut : public QDialog {
    Q_OBJECT
public:
    TfShortCut(QWidget* owner, Settings& settings);
    ~TfShortCut() override;

    // The program the shortcut starts; this program unless set otherwise.
    QString ProgramPath;

    ShortcutChoice Choice() const;
    QString MakeSwitchLine() const;
    QStringList MakeSwitchArguments() const;
    // The place item of RadioGroup1 (0 desktop, 1 programs, 2 My Computer).
    int MakePlace() const;
    void SetMakePlace(int item);
    // The file written by the last successful BitBtn1Click.
    QString CreatedFile() const { return m_created; }

    TArrowSpinEdit* SpinEdit1() const { return m_spin1; }
    TArrowSpinEdit* SpinEdit3() const { return m_spin3; }
    // RadioButton1 .. RadioButton13.
    QRadioButton* RadioButton(int n) const { return m_radio[n - 1]; }
    QLineEdit* Edit1() const { return m_edit1; }
    QLineEdit* Edit2() const { return m_edit2; }
    QToolButton* SpeedButton1() const { return m_browseButton; }
    QGroupBox* RadioGroup1() const { return m_placeGroup; }
    QRadioButton* PlaceItem(int item) const { return m_place[item]; }
    QPushButton* BitBtn1() const { return m_create; }
    QPushButton* BitBtn2() const { return m_cancel; }
    TplBrowseFolder& plBrowseFolder1() { return *m_browse; }

    void SpeedButton1Click();
    // Creates the shortcut; closes the dialog with OK on success.
    void BitBtn1Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    QString PlaceFolder(bool& cancelled);

    Settings& m_settings;
    QString m_pictureBrowseFolder;
    QString m_created;
    std::unique_ptr<TplBrowseFolder> m_browse;

    TArrowSpinEdit* m_spin1 = nullptr;
    TArrowSpinEdit* m_spin3 = nullptr;
    QRadioButton* m_radio[13] = {};
    QLineEdit* m_edit1 = nullptr;
    QLineEdit* m_edit2 = nullptr;
    QToolButton* m_browseButton = nullptr;
    QGroupBox* m_placeGroup = nullptr;
    QRadioButton* m_place[3] = {};
    QPushButton* m_create = nullptr;
    QPushButton* m_cancel = nullptr;
};
