#include "dialogs/PictureOpenDialog.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QAbstractItemView>
#include <QGridLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPointer>
#include <QThreadPool>
#include <QVBoxLayout>

QStringList PictureNameFilters(const QString& graphicFilter)
{
    const QStringList parts = graphicFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // A description that already shows its patterns ("すべて (*.gif;*.jpg)")
        // shows them once, in the form Qt reads.
        QString description = parts[i];
        const qsizetype open = description.lastIndexOf(QStringLiteral(" ("));
        if (open > 0 && description.endsWith(QLatin1Char(')')))
            description.truncate(open);
        filters << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    filters << QStringLiteral("すべてのファイル (*)");
    return filters;
}

TPictureOpenDialog::TPictureOpenDialog(QWidget* owner, const QString& startFolder, const QString& graphicFilter,
                                       PreviewLoader loader)
    : QFileDialog(owner),
      m_loader(std::move(loader))
{
    setObjectName(QStringLiteral("PictureOpenDialog"));
    // Qt's own dialog: it speaks the program's language and takes the
    // preview panel; the desktop's dialog would do neither.
    setOption(QFileDialog::DontUseNativeDialog);
    setWindowTitle(QStringLiteral("画像ファイルを開く"));
    setFileMode(QFileDialog::ExistingFiles);
    setAcceptMode(QFileDialog::AcceptOpen);
    setNameFilters(PictureNameFilters(graphicFilter));
    if (!startFolder.isEmpty() && QFileInfo(startFolder).isDir())
        setDirectory(startFolder);
    setLabelText(QFileDialog::Accept, QStringLiteral("開く(&O)"));
    setLabelText(QFileDialog::Reject, QStringLiteral("キャンセル"));

    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("PreviewPanel"));
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(4, 0, 0, 0);
    auto* caption = new QLabel(QStringLiteral("プレビュー"), panel);
    m_image = new QLabel(panel);
    m_image->setObjectName(QStringLiteral("PreviewImage"));
    m_image->setFixedSize(kPreviewBox);
    m_image->setAlignment(Qt::AlignCenter);
    m_image->setFrameShape(QFrame::StyledPanel);
    m_size = new QLabel(QStringLiteral("(なし)"), panel);
    m_size->setObjectName(QStringLiteral("PreviewSize"));
    m_size->setAlignment(Qt::AlignHCenter);
    column->addWidget(caption);
    column->addWidget(m_image);
    column->addWidget(m_size);
    column->addStretch(1);
    // Qt's dialog lays itself out on a grid: the panel takes a column of
    // its own at the right, beside the file list.
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(panel, 1, grid->columnCount(), grid->rowCount() - 1, 1);
    resize(760, 440);

    // The file the user moves to, and a file picked by a click or by name
    // (Qt's dialog selects those without making them current).
    connect(this, &QFileDialog::currentChanged, this, &TPictureOpenDialog::RequestPreview);
    if (auto* list = findChild<QAbstractItemView*>(QStringLiteral("listView"))) {
        connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
            const QStringList files = selectedFiles();
            if (files.size() == 1)
                RequestPreview(files.first());
        });
    }
}

TPictureOpenDialog::~TPictureOpenDialog() = default;

void TPictureOpenDialog::RequestPreview(const QString& path)
{
    const QString file = QFileInfo(path).isFile() ? path : QString();
    if (!file.isEmpty() && file == m_selected)
        return; // already shown or on its way
    m_previewed.clear();
    m_image->clear();
    m_size->setText(QStringLiteral("(なし)"));
    m_selected = file;
    if (!m_selected.isEmpty() && m_loading.isEmpty())
        StartLoading(m_selected);
}

void TPictureOpenDialog::StartLoading(const QString& path)
{
    m_loading = path;
    QPointer<TPictureOpenDialog> self(this);
    PreviewLoader loader = m_loader;
    const QSize box = kPreviewBox - QSize(4, 4);
    QThreadPool::globalInstance()->start([self, loader, path, box] {
        QImage preview;
        QSize size;
        try {
            if (loader)
                preview = loader(path);
        } catch (...) {
            preview = QImage();
        }
        size = preview.size();
        if (preview.width() > box.width() || preview.height() > box.height())
            preview = preview.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        // Back on the window thread; the dialog may be gone by then.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, path, preview, size] {
                if (self)
                    self->PreviewLoaded(path, preview, size);
            },
            Qt::QueuedConnection);
    });
}

void TPictureOpenDialog::PreviewLoaded(const QString& path, const QImage& preview, QSize pictureSize)
{
    m_loading.clear();
    if (path != m_selected) {
        // The user moved on meanwhile: only the newest choice is decoded.
        if (!m_selected.isEmpty())
            StartLoading(m_selected);
        return;
    }
    if (preview.isNull()) {
        m_size->setText(QStringLiteral("(表示できません)"));
        return;
    }
    m_image->setPixmap(QPixmap::fromImage(preview));
    m_size->setText(QStringLiteral("%1 × %2").arg(pictureSize.width()).arg(pictureSize.height()));
    m_previewed = path;
}

QStringList ChoosePictureFiles(QWidget* owner, const QString& startFolder, const QString& graphicFilter,
                               TPictureOpenDialog::PreviewLoader loader)
{
    TPictureOpenDialog dialog(owner, startFolder, graphicFilter, std::move(loader));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}
