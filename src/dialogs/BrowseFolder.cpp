#include "BrowseFolder.h"

#include "platform/Files.h"
#include "platform/SpecialFolders.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

int SpecialDirCsidl(TplBFSpecialDir dir)
{
    static const int table[] = {0x00, 0x00, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09,
                                0x0A, 0x0B, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x1A, 0x1B};
    const int index = static_cast<int>(dir);
    return index >= 0 && index < static_cast<int>(std::size(table)) ? table[index] : 0;
}

namespace {

// Records where and how large the user leaves the browser window.
class GeometryRecorder : public QObject {
public:
    QRect bounds;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Move || event->type() == QEvent::Resize || event->type() == QEvent::Show
            || event->type() == QEvent::Hide) {
            auto* w = static_cast<QWidget*>(watched);
            if (w->isVisible())
                bounds = QRect(w->pos(), w->size());
        }
        return false;
    }
};

// The tree shows the root folder as its one top item, so that the root itself
// can be chosen: the view starts at the root's parent with the root's
// siblings hidden as the model lists them.
void ShowRootAsTopItem(QTreeView& tree, QFileSystemModel& model, const QModelIndex& rootIndex)
{
    const QPersistentModelIndex root(rootIndex);
    const QPersistentModelIndex top(rootIndex.parent());
    tree.setRootIndex(top);
    auto hideSiblings = [&tree, &model, root, top] {
        for (int row = 0; row < model.rowCount(top); ++row)
            tree.setRowHidden(row, top, model.index(row, 0, top) != QModelIndex(root));
    };
    hideSiblings();
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, &tree,
                     [hideSiblings, top](const QModelIndex& parent, int, int) {
                         if (parent == QModelIndex(top))
                             hideSiblings();
                     });
    QObject::connect(&model, &QAbstractItemModel::layoutChanged, &tree, hideSiblings);
    tree.expand(rootIndex);
}

// Keeps the start folder expanded, selected and in the middle of the view
// while the model fills the tree around it in the background (every folder
// listed above it pushes it down). Stops at the first thing the user does.
class StartFolderReveal : public QObject {
public:
    StartFolderReveal(QTreeView& tree, QFileSystemModel& model, const QModelIndex& start)
        : QObject(&tree),
          m_tree(tree),
          m_start(start)
    {
        connect(&model, &QFileSystemModel::directoryLoaded, this, &StartFolderReveal::reveal);
        connect(&model, &QAbstractItemModel::layoutChanged, this, &StartFolderReveal::reveal);
        connect(&model, &QAbstractItemModel::rowsInserted, this, &StartFolderReveal::reveal);
        tree.installEventFilter(this);
        tree.viewport()->installEventFilter(this);
        tree.verticalScrollBar()->installEventFilter(this);
        tree.horizontalScrollBar()->installEventFilter(this);
        tree.setCurrentIndex(start);
        tree.expand(start);
        reveal();
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::Wheel:
            m_active = false;
            break;
        case QEvent::Show:
        case QEvent::Resize:
            if (watched == m_tree.viewport())
                QTimer::singleShot(0, this, &StartFolderReveal::reveal);
            break;
        default:
            break;
        }
        return false;
    }

private:
    void reveal()
    {
        if (!m_active || !m_start.isValid() || m_tree.currentIndex() != QModelIndex(m_start)) {
            m_active = false;
            return;
        }
        if (!m_tree.isExpanded(m_start))
            m_tree.expand(m_start);
        m_tree.scrollTo(m_start, QAbstractItemView::PositionAtCenter);
    }

    QTreeView& m_tree;
    QPersistentModelIndex m_start;
    bool m_active = true;
};

} // namespace

TplBrowseFolder::TplBrowseFolder(QWidget* owner) : m_owner(owner) {}

TplBrowseFolder::~TplBrowseFolder() = default;

void TplBrowseFolder::SetFormWidth(int value)
{
    if (m_dialog)
        return;
    m_formWidth = std::max(value, m_minimum.width());
}

void TplBrowseFolder::SetFormHeight(int value)
{
    if (m_dialog)
        return;
    m_formHeight = std::max(value, m_minimum.height());
}

QString TplBrowseFolder::StartFolderOf(const QString& path, TplBFSpecialDir special)
{
    if (special == sfNone && !path.isEmpty() && platform::DirectoryExists(path))
        return QFileInfo(path).absoluteFilePath();
    return platform::SpecialFolderPath(SpecialDirCsidl(special));
}

QString TplBrowseFolder::RootFolderOf(const QString& path, TplBFSpecialDir special)
{
    if (special == sfNone && !path.isEmpty() && platform::DirectoryExists(path))
        return QFileInfo(path).absoluteFilePath();
    // The desktop and My Computer are the top of the namespace: everything
    // lies below them, so as a root they stand for the whole file system.
    if (special == sfNone || special == sfDesktop || special == sfDrives)
        return QStringLiteral("/");
    return platform::SpecialFolderPath(SpecialDirCsidl(special));
}

bool TplBrowseFolder::Execute()
{
    // 1.
    m_directory.clear();
    m_displayName.clear();
    // 3.
    const QString start = StartFolderOf(InitDir, InitSpecialDir);
    QString root = RootFolderOf(RootDir, RootSpecialDir);
    if (root.isEmpty())
        root = QStringLiteral("/");

    QDialog dialog(m_owner);
    dialog.setObjectName(QStringLiteral("BrowseFolderDialog"));
    dialog.setWindowTitle(QStringLiteral("フォルダの参照"));
    dialog.resize(kDefaultWidth, kDefaultHeight);
    auto* layout = new QVBoxLayout(&dialog);
    auto* title = new QLabel(Title, &dialog);
    title->setObjectName(QStringLiteral("TitleLabel"));
    title->setWordWrap(true);
    title->setVisible(!Title.isEmpty());
    layout->addWidget(title);
    auto* status = new QLabel(&dialog);
    status->setObjectName(QStringLiteral("StatusText"));
    status->setVisible((Options & bifStatusText) || OnSelectionChanged);
    layout->addWidget(status);

    auto* model = new QFileSystemModel(&dialog);
    QDir::Filters filters = QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives;
    if (Options & bifBrowseIncludeFiles)
        filters |= QDir::Files;
    model->setFilter(filters);
    model->setReadOnly(true);
    const QModelIndex rootIndex = model->setRootPath(root);
    auto* tree = new QTreeView(&dialog);
    tree->setObjectName(QStringLiteral("FolderTree"));
    tree->setModel(model);
    tree->setHeaderHidden(true);
    for (int column = 1; column < model->columnCount(); ++column)
        tree->hideColumn(column);
    ShowRootAsTopItem(*tree, *model, rootIndex);
    layout->addWidget(tree, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("OKButton"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("CancelButton"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    ok->setEnabled(false);

    auto selectionChanged = [this, &dialog, model, tree, status, ok](const QModelIndex& current) {
        const QString path = current.isValid() ? model->filePath(current) : QString();
        ok->setEnabled(current.isValid());
        if (OnSelectionChanged) {
            bool okEnabled = ok->isEnabled();
            QString statusText;
            OnSelectionChanged(*this, &dialog, path, statusText, okEnabled);
            ok->setEnabled(okEnabled);
            status->setText(statusText);
        }
        Q_UNUSED(tree);
    };
    QObject::connect(tree->selectionModel(), &QItemSelectionModel::currentChanged, &dialog,
                     [selectionChanged](const QModelIndex& current, const QModelIndex&) { selectionChanged(current); });

    // Initialisation: select the start folder, take the minimum size, tell
    // the owner, set the caption and lay the window out.
    m_dialog = &dialog;
    if (!start.isEmpty()) {
        const QModelIndex index = model->index(start);
        // A start folder outside the tree cannot be shown in it.
        const bool inTree = root == QLatin1String("/") || start == root || start.startsWith(root + QLatin1Char('/'));
        if (index.isValid() && inTree)
            new StartFolderReveal(*tree, *model, index);
    }
    m_minimum = dialog.size();
    if (OnShow)
        OnShow(*this);
    if (!Caption.isEmpty())
        dialog.setWindowTitle(Caption);
    QRect screen(0, 0, 1024, 768);
    if (QScreen* s = m_owner ? m_owner->screen() : QGuiApplication::primaryScreen())
        screen = s->geometry();
    if (!(Options & bifNewDialogStyle)) {
        m_formWidth = std::max(m_formWidth, m_minimum.width());
        m_formHeight = std::max(m_formHeight, m_minimum.height());
        QPoint position(m_formLeft, m_formTop);
        if (m_formLeft == 0 && m_formTop == 0)
            position = QPoint(screen.left() + (screen.width() - m_formWidth) / 2,
                              screen.top() + (screen.height() - m_formHeight) / 2);
        dialog.resize(m_formWidth, m_formHeight);
        dialog.move(position);
    } else {
        dialog.move(screen.left() + (screen.width() - dialog.width()) / 2,
                    screen.top() + (screen.height() - dialog.height()) / 2);
    }
    dialog.setMinimumSize(m_minimum);

    GeometryRecorder recorder;
    recorder.bounds = QRect(dialog.pos(), dialog.size());
    dialog.installEventFilter(&recorder);
    // 7.
    const int result = dialog.exec();
    // 8.
    dialog.removeEventFilter(&recorder);
    m_formLeft = recorder.bounds.left();
    m_formTop = recorder.bounds.top();
    m_formWidth = recorder.bounds.width();
    m_formHeight = recorder.bounds.height();
    m_dialog = nullptr;
    // 9.
    if (result != QDialog::Accepted)
        return false;
    const QModelIndex chosen = tree->currentIndex();
    if (!chosen.isValid())
        return false;
    m_directory = model->filePath(chosen);
    m_displayName = model->fileName(chosen);
    if (m_displayName.isEmpty())
        m_displayName = m_directory;
    return true;
}
