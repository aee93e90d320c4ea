#pragma once
// The picture-file dialog of "画像ファイルを開く": Qt's own file dialog in
// Japanese with a preview panel that shows the selected picture and its
// size. The picture is decoded off the window thread.
#include <QFileDialog>
#include <QImage>
#include <QSize>

#include <functional>

class QLabel;

// "description|pattern;pattern|..." pairs as the format registry writes
// them, turned into Qt's name filters ("description (pattern pattern)").
QStringList PictureNameFilters(const QString& graphicFilter);

class TPictureOpenDialog : public QFileDialog {
public:
    // Decodes a file for the preview: the picture, or a null image when the
    // file cannot be shown. Runs on a worker thread.
    using PreviewLoader = std::function<QImage(const QString& path)>;

    TPictureOpenDialog(QWidget* owner, const QString& startFolder, const QString& graphicFilter, PreviewLoader loader);
    ~TPictureOpenDialog() override;

    QLabel* PreviewImage() const { return m_image; }
    QLabel* PreviewSize() const { return m_size; }
    // The file whose preview is shown (empty while none is).
    QString PreviewedFile() const { return m_previewed; }

    static constexpr QSize kPreviewBox{180, 180};

private:
    void RequestPreview(const QString& path);
    void StartLoading(const QString& path);
    void PreviewLoaded(const QString& path, const QImage& preview, QSize pictureSize);

    PreviewLoader m_loader;
    QLabel* m_image = nullptr;
    QLabel* m_size = nullptr;
    QString m_previewed;
    QString m_selected; // the file chosen in the list, if any
    QString m_loading; // the file on the worker thread, if any
};

// Runs the dialog modally; gives the chosen files, or nothing on Cancel.
QStringList ChoosePictureFiles(QWidget* owner, const QString& startFolder, const QString& graphicFilter,
                               TPictureOpenDialog::PreviewLoader loader);
