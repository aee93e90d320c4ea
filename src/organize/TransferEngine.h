#pragma once
// The copy/move engine behind the transfer buttons: one transfer of the shown
// image into a destination folder, same-name handling by numbering or by the
// user's choice, undo of the last move, and renaming of the shown image.
//
// The engine owns no window. It works on the viewer session (the list, the
// current index, the settings and the undo record) and asks every question
// and gives every notice through ITransferUi, which the program implements
// with its dialogs and the tests answer directly.
#include <QString>

#include <functional>

class ViewerSession;

namespace OrganizeTexts {
inline const QString RunTimeChoice = QStringLiteral("転送先 実行時選択");
inline const QString RunTimeCaption = QStringLiteral("AnyWhere");
inline const QString ChooseCaption = QStringLiteral("転送先フォルダ設定");
inline const QString NoFolder =
    QStringLiteral("複写・移動先のフォルダーがありません。\n\n\u3000\u3000複写・移動を中止しました。");
inline const QString NumberingError = QStringLiteral("連番エラーです。");
inline const QString NameTaken = QStringLiteral("同名のファイルがありました！");
inline const QString CopyFailed = QStringLiteral("画像複写に失敗しました。\n\n確認してください。");
inline const QString MoveFailed = QStringLiteral("画像移動に失敗しました。\n\n確認してください。");
inline const QString CopyDone = QStringLiteral("複写 完了！");
inline const QString MoveDone = QStringLiteral("移動 完了 ！");
inline const QString UndoDone = QStringLiteral("復活 完了 ！");
inline const QString UndoFailed = QStringLiteral("元に戻せませんでした。");
inline const QString RenameTaken = QStringLiteral("同名のファイルがありました。");
} // namespace OrganizeTexts

// Results of the same-name dialog.
enum SameResult {
    srCancel = 2, // Cancel or the window closed
    srDeleteSource = 3, // "元の画像を削除して中止"
    srDeleteExisting = 5, // "先の画像を削除して実行"
    srRename = 6, // "変更後、実行"
};

// Questions and notices.
class ITransferUi {
public:
    virtual ~ITransferUi() = default;
    // The same-name dialog for the transfer record's two files: a SameResult.
    virtual int AskSameName(const QString& source, const QString& destination) = 0;
    // The new name prompt: the name (without folder) or empty when cancelled.
    virtual QString InputNewName(const QString& folder, const QString& name) = 0;
    // The folder dialog with this caption, opening at initDir. True with the
    // chosen folder in *directory, false when cancelled.
    virtual bool BrowseFolder(const QString& caption, const QString& initDir, QString* directory) = 0;
    virtual void Beep() = 0;
    // A modal error box with the error icon and OK.
    virtual void Error(const QString& text) = 0;
    // A completion notice in the auto-closing message window; returns when it
    // has closed.
    virtual void Done(const QString& text) = 0;
    // Sends a file to the trash after the desktop's question; true when it
    // was aborted (refused or impossible).
    virtual bool RecycleFile(const QString& path) = 0;
    // Pauses the user-interface thread (the numbering search).
    virtual void Wait(int milliseconds) = 0;
};

// Path helpers of the engine ("/" separated).
struct PathParts {
    QString folder; // with the trailing "/"
    QString base; // the file name without its last extension
    QString extension; // from the last "." of the file name, dot included; may be empty
};
PathParts SplitPath(const QString& path);
// The folder of a path with its trailing "/", and the file name.
QString FolderOf(const QString& path);
QString FileNameOf(const QString& path);
// The extension rule of the name prompt: the typed name keeps its own
// extension; a name without one gets the old name's extension.
QString WithOldExtension(const QString& typed, const QString& oldName);
// A name that stays inside its folder: not empty, no "/", no NUL, not "." or "..".
bool IsPlainFileName(const QString& name);
// Something (file, folder, link, dangling or not) is at that path.
bool PathTaken(const QString& path);
// stem + tail, with the stem shortened by whole characters until the name
// takes at most maxBytes in the file-system encoding.
QString NameWithinLimit(const QString& stem, const QString& tail, int maxBytes);

class TTransferEngine {
public:
    TTransferEngine(ViewerSession& session, ITransferUi& ui);

    // ArBitBtnProcess: transfers the image at CurrentIndex through button i.
    void ArBitBtnProcess(int i);
    // Moves the last moved file back. A failed move back keeps the record.
    void UndoLastMove();
    // NameChangeBtnClick: renames the shown image in place.
    void RenameCurrent();

    // The folder the run-time choice's folder dialog opens in (shared with
    // the toolbox's destination dialog).
    QString LastInitialFolder;
    // Numbering gives up past this number.
    qint64 NumberingLimit = 2147000000;
    // Wait before each numbering candidate.
    int NumberingWaitMs = 100;

    ITransferUi& Ui() { return m_ui; }
    bool Busy() const { return m_busy; }

private:
    // Steps 3 to 6: the destination, or empty when the transfer stops.
    QString ResolveDestination(int i);
    QString Numbered(const QString& destination);

    ViewerSession& m_session;
    ITransferUi& m_ui;
    bool m_busy = false;
};
