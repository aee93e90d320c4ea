#pragma once
// TfHelpViewer "ヘルプ": a sizeable tool window that shows the help document
// in a browser area, with a tool bar (start page, back, forward, stop,
// reload) and a close button centred at the bottom. Its place and size come
// from the [Help] settings and go back there when it closes. Several viewers
// may be open at once.
#include "settings/Settings.h"

#include <QUrl>
#include <QWidget>

class QFrame;
class QPushButton;
class QTextBrowser;
class QToolBar;
class QToolButton;

class TfHelpViewer : public QWidget {
    Q_OBJECT
public:
    // owner: the main window; settings: whose [Help] values place the window.
    TfHelpViewer(QWidget* owner, Settings& settings);
    ~TfHelpViewer() override;

    // Full path of the help document, set before the first navigation.
    QString StartPage;
    void Navigate(const QString& path);

    // The newest open viewer; none once it has closed.
    static TfHelpViewer* Current();

    QToolBar* ToolBar1() const { return m_toolBar; }
    // ToolButton1 .. ToolButton5 (ToolButton6 and 7 are the separators).
    QToolButton* ToolButton(int n) const { return m_buttons[n - 1]; }
    QTextBrowser* WebBrowser1() const { return m_browser; }
    QFrame* Panel1() const { return m_panel; }
    QPushButton* BitBtn1() const { return m_close; }

    void ToolButton1Click(); // start page
    void ToolButton2Click(); // back
    void ToolButton3Click(); // forward
    void ToolButton4Click(); // stop
    void ToolButton5Click(); // reload

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormCreate();
    void FormResize();
    void FormClose();
    void OpenLink(const QUrl& url);
    void Show(const QUrl& url);

    Settings& m_settings;
    QToolBar* m_toolBar = nullptr;
    QToolButton* m_buttons[5] = {};
    QTextBrowser* m_browser = nullptr;
    QFrame* m_panel = nullptr;
    QPushButton* m_close = nullptr;
};
