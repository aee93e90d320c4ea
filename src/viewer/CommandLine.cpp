#include "viewer/CommandLine.h"

#include "platform/Files.h"
#include "platform/Paths.h"

#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kMaxTimeSeconds = 86400.0;
constexpr int kFastestSlideshowMs = 100;

bool ExistsOnDisk(const QString& path)
{
    return platform::FileExists(path) || platform::DirectoryExists(path) || platform::IsSymLink(path);
}

bool ToNumber(const QLocale& locale, const QString& text, double& number)
{
    QLocale l = locale;
    l.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double v = l.toDouble(text, &ok);
    if (!ok || !std::isfinite(v))
        return false;
    number = v;
    return true;
}

} // namespace

SwitchMatch ParseSwitch(const QString& switchName, const QString& argument)
{
    const QString name = switchName.toLower();
    const QString arg = argument.toLower();
    SwitchMatch m;
    const qsizetype eq = arg.indexOf(QLatin1Char('='));
    if (eq < 0 || !arg.startsWith(name))
        return m;
    m.matched = true;
    m.value = arg.mid(eq + 1);
    return m;
}

bool IsSwitchArgument(const QString& argument)
{
    if (!argument.startsWith(QLatin1Char('/')))
        return false;
    const qsizetype eq = argument.indexOf(QLatin1Char('='));
    const qsizetype slash = argument.indexOf(QLatin1Char('/'), 1);
    if (slash >= 0 && (eq < 0 || slash < eq))
        return false;
    return !ExistsOnDisk(argument);
}

void ParseTimeSwitch(const QString& value, int& interval, int& intervalM)
{
    ParseTimeSwitch(value, QLocale::system(), interval, intervalM);
}

void ParseTimeSwitch(const QString& value, const QLocale& locale, int& interval, int& intervalM)
{
    const QString text = value.trimmed();
    double v = 0;
    if (!ToNumber(locale, text, v) && !ToNumber(QLocale::c(), text, v)) {
        interval = 2;
        intervalM = 0;
        return;
    }
    if (v < 0) {
        // A negative time asks for the fastest slideshow, 100 ms. It is kept
        // as 0.1 s: the settings file holds no negative intervals, and read
        // back they would turn into 0, a slideshow that never ticks.
        interval = 0;
        intervalM = kFastestSlideshowMs;
        return;
    }
    v = std::min(v, kMaxTimeSeconds);
    interval = static_cast<int>(std::trunc(v));
    intervalM = static_cast<int>(std::trunc((v - interval) * 1000.0));
}

void ApplySwitch(const QString& argument, Settings& settings, LaunchState& state)
{
    const auto on = [](const SwitchMatch& m) { return m.value == QLatin1String("on"); };

    if (const SwitchMatch m = ParseSwitch(QStringLiteral("/Time"), argument); m.matched) {
        ParseTimeSwitch(m.value, settings.Option.Interval, settings.Option.IntervalM);
        return;
    }
    if (const SwitchMatch m = ParseSwitch(QStringLiteral("/Auto"), argument); m.matched) {
        if (on(m))
            state.AutoStart = true;
        return;
    }
    if (const SwitchMatch m = ParseSwitch(QStringLiteral("/Box"), argument); m.matched) {
        settings.Tool.Show = on(m);
        return;
    }
    if (const SwitchMatch m = ParseSwitch(QStringLiteral("/Button"), argument); m.matched) {
        settings.Option.Open = on(m);
        return;
    }
    if (const SwitchMatch m = ParseSwitch(QStringLiteral("/Zoom"), argument); m.matched) {
        settings.Option.Zoom = on(m);
        return;
    }
    if (const SwitchMatch m = ParseSwitch(QStringLiteral("/Siblings"), argument); m.matched) {
        state.Siblings = on(m);
        return;
    }

    if (const SwitchMatch m = ParseSwitch(QStringLiteral("/Full"), argument); m.matched && on(m))
        state.StartFullScreen = true;
    if (const SwitchMatch m = ParseSwitch(QStringLiteral("/Repeat"), argument); m.matched) {
        if (m.value == QLatin1String("on"))
            state.RepeatMode = 1;
        else if (m.value == QLatin1String("off"))
            state.RepeatMode = 0;
        else
            state.RepeatMode = -1;
    }
    state.SwitchLaunch = true;
}

QString SiblingsLaunchFile(const QStringList& arguments, const std::function<bool(const QString&)>& isPicture)
{
    bool siblings = false;
    QStringList paths;
    for (const QString& argument : arguments) {
        if (!IsSwitchArgument(argument)) {
            paths << argument;
            continue;
        }
        Settings ignored;
        LaunchState state;
        state.Siblings = siblings;
        ApplySwitch(argument, ignored, state);
        siblings = state.Siblings;
    }
    if (!siblings || paths.size() != 1)
        return {};
    const QString file = platform::CanonicalPath(paths.first());
    if (!QFileInfo(file).isFile() || !isPicture(file))
        return {};
    return file;
}
