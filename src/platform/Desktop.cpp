#include "Desktop.h"
#include "ProgramLocation.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QSaveFile>
#include <QScreen>

#include <algorithm>
#include <atomic>

namespace platform {
namespace {

std::function<bool(const QUrl&)>& openUrlHandler()
{
    static std::function<bool(const QUrl&)> handler;
    return handler;
}

std::function<void()>& beepHandler()
{
    static std::function<void()> handler;
    return handler;
}

std::function<int(const QString&, MsgIcon, int)>& messageBoxHandler()
{
    static std::function<int(const QString&, MsgIcon, int)> handler;
    return handler;
}

std::atomic<int> g_beepCount{0};

bool isReservedInExec(QChar c)
{
    static const QString reserved = QStringLiteral(" \t\n\r\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}

// One argument of an Exec line (before the string escapes of the file).
QString quoteExecArgument(const QString& arg)
{
    const bool quote = arg.isEmpty() || std::any_of(arg.begin(), arg.end(), isReservedInExec);
    QString out;
    out.reserve(arg.size() + 2);
    if (quote)
        out += QLatin1Char('"');
    for (const QChar c : arg) {
        if (c == QLatin1Char('%')) {
            out += QStringLiteral("%%");
            continue;
        }
        if (quote
            && (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\')))
            out += QLatin1Char('\\');
        out += c;
    }
    if (quote)
        out += QLatin1Char('"');
    return out;
}

// The escapes of a desktop entry's string values.
QString escapeValue(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else if (c == QLatin1Char(' ') && i == 0)
            out += QStringLiteral("\\s");
        else
            out += c;
    }
    return out;
}

QString unescapeValue(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case '\\':
            out += QLatin1Char('\\');
            break;
        default:
            out += c;
            out += next;
        }
    }
    return out;
}

} // namespace

bool OpenUrl(const QString& target)
{
    const QString trimmed = target.trimmed();
    if (trimmed.isEmpty())
        return false;
    QUrl url;
    if (trimmed.startsWith(QLatin1Char('/')))
        url = QUrl::fromLocalFile(trimmed);
    else {
        url = QUrl(trimmed, QUrl::TolerantMode);
        if (url.scheme().isEmpty())
            url = QUrl::fromUserInput(trimmed);
    }
    if (!url.isValid())
        return false;
    if (const auto& handler = openUrlHandler())
        return handler(url);
    return QDesktopServices::openUrl(url);
}

void SetOpenUrlHandlerForTesting(std::function<bool(const QUrl&)> handler)
{
    openUrlHandler() = std::move(handler);
}

void Beep()
{
    ++g_beepCount;
    if (const auto& handler = beepHandler())
        handler();
    else if (qApp)
        QApplication::beep();
}

int BeepCountForTesting()
{
    return g_beepCount.load();
}

void ResetBeepCountForTesting()
{
    g_beepCount.store(0);
}

void SetBeepHandlerForTesting(std::function<void()> handler)
{
    beepHandler() = std::move(handler);
}

int MessageBox(QWidget* parent, const QString& text, MsgIcon icon, int buttons)
{
    if ((buttons & (MsgOk | MsgCancel)) == 0)
        buttons = MsgOk;
    if (const auto& handler = messageBoxHandler())
        return handler(text, icon, buttons);

    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    switch (icon) {
    case MsgIcon::Error:
        boxIcon = QMessageBox::Critical;
        break;
    case MsgIcon::Warning:
        boxIcon = QMessageBox::Warning;
        break;
    case MsgIcon::Question:
        boxIcon = QMessageBox::Question;
        break;
    case MsgIcon::Information:
        boxIcon = QMessageBox::Information;
        break;
    }
    QMessageBox::StandardButtons standard;
    if (buttons & MsgOk)
        standard |= QMessageBox::Ok;
    if (buttons & MsgCancel)
        standard |= QMessageBox::Cancel;
    QMessageBox box(boxIcon, QGuiApplication::applicationDisplayName(), text, standard, parent);
    box.setDefaultButton((buttons & MsgOk) ? QMessageBox::Ok : QMessageBox::Cancel);
    if (buttons & MsgCancel)
        box.setEscapeButton(QMessageBox::Cancel);
    const int result = box.exec();
    if (result == QMessageBox::Ok)
        return MsgOk;
    if (result == QMessageBox::Cancel)
        return MsgCancel;
    return (buttons & MsgCancel) ? MsgCancel : MsgOk;
}

void SetMessageBoxHandlerForTesting(std::function<int(const QString& text, MsgIcon, int buttons)> handler)
{
    messageBoxHandler() = std::move(handler);
}

bool StartDetached(const QString& program, const QStringList& args, const QString& workingDir)
{
    if (program.isEmpty())
        return false;
    return QProcess::startDetached(program, args, workingDir);
}

QRect DesktopRect()
{
    if (!qApp)
        return {};
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->virtualGeometry() : QRect();
}

QString DesktopExecValue(const QString& target, const QStringList& arguments)
{
    QStringList parts;
    parts.reserve(arguments.size() + 1);
    parts.append(quoteExecArgument(target));
    for (const QString& arg : arguments)
        parts.append(quoteExecArgument(arg));
    return escapeValue(parts.join(QLatin1Char(' ')));
}

QStringList ParseDesktopExec(const QString& exec)
{
    const QString text = unescapeValue(exec);
    QStringList args;
    QString current;
    bool inToken = false;
    bool inQuotes = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('%') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('%')) {
            current += QLatin1Char('%');
            inToken = true;
            ++i;
            continue;
        }
        if (inQuotes) {
            if (c == QLatin1Char('"')) {
                inQuotes = false;
            } else if (c == QLatin1Char('\\') && i + 1 < text.size()) {
                current += text.at(++i);
            } else {
                current += c;
            }
            continue;
        }
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
            if (inToken) {
                args.append(current);
                current.clear();
                inToken = false;
            }
            continue;
        }
        inToken = true;
        if (c == QLatin1Char('"'))
            inQuotes = true;
        else
            current += c;
    }
    if (inToken)
        args.append(current);
    return args;
}

bool WriteDesktopEntry(const QString& file, const QString& target, const QStringList& arguments,
                       const QString& workingDir, const QString& description)
{
    if (file.isEmpty() || target.isEmpty())
        return false;
    QString name = QFileInfo(file).fileName();
    if (name.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive))
        name.chop(8);

    QString text = QStringLiteral("[Desktop Entry]\nType=Application\nVersion=1.0\n");
    text += QStringLiteral("Name=") + escapeValue(name) + QLatin1Char('\n');
    if (!description.isEmpty())
        text += QStringLiteral("Comment=") + escapeValue(description) + QLatin1Char('\n');
    text += QStringLiteral("Exec=") + DesktopExecValue(target, arguments) + QLatin1Char('\n');
    text += QStringLiteral("Icon=") + QLatin1String(ProgramIconName) + QLatin1Char('\n');
    if (!workingDir.isEmpty())
        text += QStringLiteral("Path=") + escapeValue(workingDir) + QLatin1Char('\n');
    text += QStringLiteral("Terminal=false\n");

    const QFileDevice::Permissions executable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                | QFileDevice::ReadGroup | QFileDevice::ExeGroup
                                                | QFileDevice::ReadOther | QFileDevice::ExeOther;
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = text.toUtf8();
    if (out.write(bytes) != bytes.size()) {
        out.cancelWriting();
        return false;
    }
    out.setPermissions(executable);
    if (!out.commit())
        return false;
    if (!(QFile::permissions(file) & QFileDevice::ExeOwner))
        return QFile::setPermissions(file, executable);
    return true;
}

} // namespace platform
