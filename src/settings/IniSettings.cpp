#include "settings/IniSettings.h"

#include "platform/ProfileFile.h"

#include <QFileInfo>
#include <algorithm>
#include <map>
#include <optional>

namespace {

constexpr int kCaptionLength = 14;
constexpr int kMaxIntervalSeconds = 86400;
constexpr int kMaxIntervalMs = 999;

std::optional<int> TryParseInteger(const QString& text)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    } else if (i < n && text[i] == u'$') {
        base = 16;
        ++i;
    }
    if (i >= n)
        return std::nullopt;

    // Decimal values must fit a signed 32-bit integer; hexadecimal ones may
    // use all 32 bits ($FFFFFFFF is -1).
    const qint64 limit = base == 16 ? 0xFFFFFFFFLL : 0x80000000LL;
    qint64 value = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return std::nullopt;
        value = value * base + digit;
        if (value > limit)
            return std::nullopt;
    }
    if (base == 16) {
        const auto bits = static_cast<qint32>(static_cast<quint32>(value));
        return negative ? static_cast<int>(0u - static_cast<quint32>(bits)) : bits;
    }
    if (negative)
        value = -value;
    if (value > 0x7FFFFFFFLL)
        return std::nullopt;
    return static_cast<int>(value);
}

// The first maxLength characters, without splitting a surrogate pair.
QString LeftChars(const QString& text, int maxLength)
{
    if (text.size() <= maxLength)
        return text;
    qsizetype n = maxLength;
    if (n > 0 && text[n - 1].isHighSurrogate())
        --n;
    return text.left(n);
}

class Reader {
public:
    explicit Reader(const QString& path) { profile_.Load(path); }

    int Int(const char* section, const QString& key, int def) const
    {
        const auto text = profile_.Value(QLatin1String(section), key);
        if (!text)
            return def;
        return TryParseInteger(*text).value_or(def);
    }
    int Int(const char* section, const char* key, int def) const { return Int(section, QLatin1String(key), def); }
    int Int(const char* section, const char* key, int def, int low, int high) const
    {
        return std::clamp(Int(section, key, def), low, high);
    }
    bool Flag(const char* section, const char* key, bool def) const { return Int(section, key, def ? 1 : 0) != 0; }
    QString Text(const char* section, const QString& key, const QString& def) const
    {
        const auto text = profile_.Value(QLatin1String(section), key);
        if (!text)
            return def;
        return LeftChars(*text, IniSettings::kMaxTextLength);
    }
    QString Text(const char* section, const char* key, const QString& def) const
    {
        return Text(section, QLatin1String(key), def);
    }

private:
    platform::ProfileFile profile_;
};

// Sets the values of the settings file. With a baseline (the values as read
// at start-up) a value is written only when it changed since then or the
// file lacks it: what another running instance wrote meanwhile survives.
class Writer {
public:
    explicit Writer(const QString& path) : ok_(profile_.Load(path)) {}
    bool Loaded() const { return ok_; }
    void SetBaseline(const std::map<QString, QString>* baseline) { baseline_ = baseline; }
    // Keeps every value instead of writing it (the baseline's own values).
    void Record(std::map<QString, QString>* values) { record_ = values; }

    void Int(const char* section, const QString& key, int value) { Text(section, key, QString::number(value)); }
    void Int(const char* section, const char* key, int value) { Int(section, QLatin1String(key), value); }
    void Flag(const char* section, const char* key, bool value) { Int(section, key, value ? 1 : 0); }
    void Text(const char* section, const QString& key, const QString& value)
    {
        const QString id = QLatin1String(section).toString().toLower() + QLatin1Char('\n') + key.toLower();
        if (record_) {
            (*record_)[id] = value;
            return;
        }
        if (baseline_) {
            const auto before = baseline_->find(id);
            if (before != baseline_->end() && before->second == value
                && profile_.Value(QLatin1String(section), key).has_value())
                return;
        }
        profile_.SetValue(QLatin1String(section), key, value);
    }
    void Text(const char* section, const char* key, const QString& value) { Text(section, QLatin1String(key), value); }
    bool Save(const QString& path) const { return profile_.Save(path); }

private:
    platform::ProfileFile profile_;
    bool ok_;
    const std::map<QString, QString>* baseline_ = nullptr;
    std::map<QString, QString>* record_ = nullptr;
};

void WriteAll(Writer& w, const Settings& s);

QString Numbered(const char* word, int n)
{
    return QLatin1String(word) + QString::number(n);
}

} // namespace

int IniSettings::ParseInteger(const QString& text, int def)
{
    return TryParseInteger(text).value_or(def);
}

Settings IniSettings::Load(const QString& iniPath, const QRect& defaultWindow)
{
    const Reader r(iniPath);
    Settings s;

    s.Window.Left = r.Int("Window", "Left", defaultWindow.x());
    s.Window.Top = r.Int("Window", "Top", defaultWindow.y());
    s.Window.Width = r.Int("Window", "Width", defaultWindow.width());
    s.Window.Height = r.Int("Window", "Height", defaultWindow.height());
    s.Window.LastDir = r.Text("Window", "LastDir", QString());
    s.Window.State = r.Flag("Window", "state", false);
    s.Window.ListMax = r.Int("Window", "ListMax", 0, 0, 5);

    s.SusieDir = r.Text("Susie Plug-in", "Dir", QString());

    s.SameBox.Left = r.Int("SameBox", "Left", s.Window.Left);
    s.SameBox.Top = r.Int("SameBox", "Top", s.Window.Top);
    s.SameBox.Width = r.Int("SameBox", "Width", 500);
    s.SameBox.Height = r.Int("SameBox", "Height", 300);

    s.Tool.Show = r.Flag("Tool", "Show", true);
    s.Tool.Left = r.Int("Tool", "Left", 0);
    s.Tool.Top = r.Int("Tool", "Top", 0);
    s.Tool.State = r.Int("Tool", "State", 0, 0, 2);
    s.Tool.Orient = r.Int("Tool", "Orient", 0, 0, 1);

    s.Help.Left = r.Int("Help", "Left", s.Window.Left);
    s.Help.Top = r.Int("Help", "Top", s.Window.Top);
    s.Help.Width = r.Int("Help", "Width", 500);
    s.Help.Height = r.Int("Help", "Height", 500);

    s.ShortCut.Interval = r.Int("ShortCut", "Interval", 2, 0, kMaxIntervalSeconds);
    s.ShortCut.IntervalM = r.Int("ShortCut", "IntervalM", 0, 0, kMaxIntervalMs);
    s.ShortCut.MakePlace = r.Int("ShortCut", "MakePlace", 0, 0, 2);
    s.ShortCut.Auto = r.Flag("ShortCut", "Auto", true);
    s.ShortCut.Box = r.Flag("ShortCut", "Box", false);
    s.ShortCut.Button = r.Flag("ShortCut", "Button", false);
    s.ShortCut.Full = r.Flag("ShortCut", "Full", true);
    s.ShortCut.Zoom = r.Flag("ShortCut", "Zoom", true);
    s.ShortCut.Repeat = r.Int("ShortCut", "Repeat", -1);
    s.ShortCut.PictureFolder = r.Text("ShortCut", "PictureFolder", QString());

    s.Option.Interval = r.Int("Option", "Interval", 2, 0, kMaxIntervalSeconds);
    s.Option.IntervalM = r.Int("Option", "IntervalM", 0, 0, kMaxIntervalMs);
    s.Option.nButton = r.Int("Option", "nButton", 5, 0, kMaxButtons);
    s.Option.Copy = r.Flag("Option", "Copy", true);
    s.Option.Zoom = r.Flag("Option", "Zoom", false);
    s.Option.Open = r.Flag("Option", "Open", true);
    s.Option.Numbering = r.Flag("Option", "Numbering", false);
    s.Option.AutoRotate = r.Flag("Option", "AutoRotate", true);

    const QString none = QStringLiteral("none");
    for (int n = 1; n <= s.Option.nButton; ++n) {
        TransferButtonSetting& b = s.Option.Buttons[size_t(n - 1)];
        b.Folder = r.Text("Option", Numbered("Folder", n), none);
        b.Caption = r.Text("Option", Numbered("Button", n), none);
        if (b.Caption == none)
            b.Caption = LeftChars(b.Folder, kCaptionLength);
        b.RunTimeFolder.clear();
    }

    for (int n = 1; n <= kMaxAppDirs; ++n) {
        const QString app = r.Text("Option", Numbered("AppDir", n), QString());
        if (!app.isEmpty() && !s.AppDirs.contains(app))
            s.AppDirs.append(app);
    }
    return s;
}

bool IniSettings::Save(const Settings& s, const QString& iniPath)
{
    Writer w(iniPath);
    if (!w.Loaded())
        return false;
    WriteAll(w, s);
    return w.Save(iniPath);
}

bool IniSettings::SaveChanges(const Settings& s, const Settings& loaded, const QString& iniPath)
{
    std::map<QString, QString> before;
    Writer recorder{QString()};
    recorder.Record(&before);
    WriteAll(recorder, loaded);

    Writer w(iniPath);
    if (!w.Loaded())
        return false;
    w.SetBaseline(&before);
    WriteAll(w, s);
    return w.Save(iniPath);
}

QString IniSettings::CannotSaveMessage(const QStringList& triedFolders)
{
    QString text = QStringLiteral("設定を保存できません。次の場所に書き込めませんでした:");
    for (const QString& folder : triedFolders)
        text += QLatin1Char('\n') + folder;
    return text;
}

namespace {

void WriteAll(Writer& w, const Settings& s)
{
    w.Int("Window", "Left", s.Window.Left);
    w.Int("Window", "Top", s.Window.Top);
    w.Int("Window", "Width", s.Window.Width);
    w.Int("Window", "Height", s.Window.Height);
    w.Text("Window", "LastDir", s.Window.LastDir);
    w.Flag("Window", "State", s.Window.State);
    w.Int("Window", "ListMax", s.Window.ListMax);

    w.Text("Susie Plug-in", "Dir", s.SusieDir);

    w.Int("SameBox", "Left", s.SameBox.Left);
    w.Int("SameBox", "Top", s.SameBox.Top);
    w.Int("SameBox", "Width", s.SameBox.Width);
    w.Int("SameBox", "Height", s.SameBox.Height);

    w.Flag("Tool", "Show", s.Tool.Show);
    w.Int("Tool", "Left", s.Tool.Left);
    w.Int("Tool", "Top", s.Tool.Top);
    w.Int("Tool", "State", s.Tool.State);
    w.Int("Tool", "Orient", s.Tool.Orient);

    w.Int("Help", "Left", s.Help.Left);
    w.Int("Help", "Top", s.Help.Top);
    w.Int("Help", "Width", s.Help.Width);
    w.Int("Help", "Height", s.Help.Height);

    w.Int("ShortCut", "Interval", s.ShortCut.Interval);
    w.Int("ShortCut", "IntervalM", s.ShortCut.IntervalM);
    w.Int("ShortCut", "MakePlace", s.ShortCut.MakePlace);
    w.Flag("ShortCut", "Auto", s.ShortCut.Auto);
    w.Flag("ShortCut", "Box", s.ShortCut.Box);
    w.Flag("ShortCut", "Button", s.ShortCut.Button);
    w.Flag("ShortCut", "Full", s.ShortCut.Full);
    w.Flag("ShortCut", "Zoom", s.ShortCut.Zoom);
    w.Int("ShortCut", "Repeat", s.ShortCut.Repeat);
    w.Text("ShortCut", "PictureFolder", s.ShortCut.PictureFolder);

    w.Int("Option", "Interval", s.Option.Interval);
    w.Int("Option", "IntervalM", s.Option.IntervalM);
    w.Int("Option", "nButton", s.Option.nButton);
    w.Flag("Option", "Copy", s.Option.Copy);
    w.Flag("Option", "Zoom", s.Option.Zoom);
    w.Flag("Option", "Open", s.Option.Open);
    w.Flag("Option", "Numbering", s.Option.Numbering);
    w.Flag("Option", "AutoRotate", s.Option.AutoRotate);
    const int buttons = std::clamp(s.Option.nButton, 0, IniSettings::kMaxButtons);
    for (int n = 1; n <= buttons; ++n) {
        const TransferButtonSetting& b = s.Option.Buttons[size_t(n - 1)];
        w.Text("Option", Numbered("Folder", n), b.Folder);
        w.Text("Option", Numbered("Button", n), b.Caption);
    }
    for (int n = 1; n <= IniSettings::kMaxAppDirs; ++n)
        w.Text("Option", Numbered("AppDir", n), n <= s.AppDirs.size() ? s.AppDirs[n - 1] : QString());
}

} // namespace

QString IniSettings::IniPathFor(const QString& programFilePath, const QString& settingsFolder)
{
    QString folder = settingsFolder;
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    const QString base = QFileInfo(programFilePath).completeBaseName();
    if (folder.isEmpty() || folder == QLatin1String("/"))
        return folder + base + QStringLiteral(".ini");
    return folder + QLatin1Char('/') + base + QStringLiteral(".ini");
}
