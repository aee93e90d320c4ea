#include "dialogs/OptionApply.h"

#include "viewer/common/SharedHelpers.h"
#include "viewer/SlideshowText.h"

OptionChoice OptionChoiceOf(const Settings& settings, const QStringList& applications)
{
    OptionChoice choice;
    choice.Interval = settings.Option.Interval;
    choice.IntervalM = settings.Option.IntervalM;
    choice.nButton = settings.Option.nButton;
    choice.Numbering = settings.Option.Numbering;
    choice.Applications = applications;
    choice.PluginDir = settings.SusieDir;
    return choice;
}

void ApplyOptionDialogSide(const OptionChoice& choice, Settings& settings, IOptionTarget& target)
{
    // 1.
    settings.Option.Interval = choice.Interval;
    settings.Option.IntervalM = choice.IntervalM;
    if (settings.Option.Interval == 0 && settings.Option.IntervalM == 0)
        settings.Option.IntervalM = 100;
    // 2.
    if (target.SlideshowRunning())
        target.SetStatusText(SlideshowOnText(settings.Option.Interval, settings.Option.IntervalM));
    // 3.
    if (choice.nButton != settings.Option.nButton) {
        settings.Option.nButton = choice.nButton;
        if (target.ToolboxOpen())
            target.RebuildTransferArea();
    }
    // 4.
    settings.Option.Numbering = choice.Numbering;
    // 5.
    settings.SusieDir = choice.PluginDir;
}

void ApplyOptionMainSide(const QStringList& applications, const Settings& settings, IOptionTarget& target)
{
    // 6.
    target.ApplySlideshowInterval();
    // 7.
    target.ReplaceApplications(NormalisedApplications(applications));
    // 8.
    target.SearchPlugins(IncludeBackslash(settings.SusieDir) + QStringLiteral("*.spi"));
    // 9.
    target.RetakeGraphicFilter();
}

QStringList NormalisedApplications(const QStringList& applications)
{
    QStringList out;
    for (const QString& app : applications) {
        if (app.isEmpty() || out.contains(app))
            continue;
        out.append(app);
        if (out.size() == 5)
            break;
    }
    return out;
}
