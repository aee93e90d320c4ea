#pragma once
// Helpers for driving modal windows in the offscreen GUI tests.
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileSystemModel>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QWidget>

#include <functional>
#include <memory>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

// Runs `action` once a visible top-level window with the object name
// appears (checked every 10 ms for up to 10 s). Returns a flag that tells
// afterwards whether the window was seen.
inline std::shared_ptr<bool> WhenShown(const QString& objectName, std::function<void(QWidget*)> action)
{
    auto seen = std::make_shared<bool>(false);
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [=] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == objectName && w->isVisible()) {
                timer->stop();
                timer->deleteLater();
                *seen = true;
                action(w);
                return;
            }
        }
        if (clock->elapsed() > 10000) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
    return seen;
}

// What the folder dialog showed when it was answered.
struct BrowserSeen {
    QString caption;
    QPoint position;
    QString start; // the folder selected when it opened
    QString root; // the top of its tree
    bool rootShown = false; // the top folder is an item of the tree
    bool filesListed = false;
};

// Answers the next folder dialog: selects `path` and presses OK, or presses
// Cancel when `path` is empty.
inline std::shared_ptr<BrowserSeen> AnswerBrowser(const QString& path)
{
    auto seen = std::make_shared<BrowserSeen>();
    WhenShown(QStringLiteral("BrowseFolderDialog"), [=](QWidget* w) {
        auto* dialog = static_cast<QDialog*>(w);
        auto* tree = dialog->findChild<QTreeView*>(QStringLiteral("FolderTree"));
        auto* model = qobject_cast<QFileSystemModel*>(tree->model());
        seen->caption = dialog->windowTitle();
        seen->position = dialog->pos();
        seen->start = model->filePath(tree->currentIndex());
        seen->root = model->rootPath();
        // The model lists in the background: wait for the top folder's row.
        QElapsedTimer clock;
        clock.start();
        while (!tree->visualRect(model->index(seen->root)).isValid() && clock.elapsed() < 3000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        seen->rootShown = tree->visualRect(model->index(seen->root)).isValid();
        seen->filesListed = model->filter().testFlag(QDir::Files);
        if (path.isEmpty()) {
            dialog->findChild<QPushButton*>(QStringLiteral("CancelButton"))->click();
            return;
        }
        tree->setCurrentIndex(model->index(path));
        dialog->findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
    });
    return seen;
}
