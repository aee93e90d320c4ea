#include "ViewerSession.h"

#include "viewer/CommandLine.h"
#include "viewer/Siblings.h"
#include "viewer/common/SlideshowText.h"
#include "viewer/ViewerFiles.h"
#include "viewer/common/ProductTexts.h"
#include "viewer/common/SharedHelpers.h"
#include "helper/HelperClient.h"
#include "decode/FormatRegistry.h"
#include "settings/IniSettings.h"
#include "platform/Desktop.h"
#include "platform/FileNames.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/ProgramLocation.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <utility>

// ---------------------------------------------------------------- pages

QStringList ViewerPage::Paths() const
{
    QStringList paths;
    for (int slot = 0; slot < slotCount; ++slot) {
        if (!pageSlots[static_cast<size_t>(slot)].path.isEmpty())
            paths << pageSlots[static_cast<size_t>(slot)].path;
    }
    return paths;
}

ViewerPage PageAt(const ImageList& images, DisplayForm form, int orient, int index)
{
    ViewerPage page;
    page.form = form;
    page.index = index;
    page.count = images.Count();
    if (form == DisplayForm::SinglePage) {
        page.slotCount = 1;
        page.pageSlots[0] = {images.At(index), index, 0};
        return page;
    }
    page.slotCount = 2;
    const int p0 = orient == 1 ? 1 : 0;
    page.pageSlots[0].position = p0;
    page.pageSlots[1].position = 1 - p0;
    int second = -1;
    if (form == DisplayForm::SpreadEven && index == 0) {
        second = 0; // the first picture stands alone on the second place
    } else {
        page.pageSlots[0].path = images.At(index);
        page.pageSlots[0].index = index;
        if (index < page.count - 1)
            second = index + 1;
    }
    if (second >= 0) {
        page.pageSlots[1].path = images.At(second);
        page.pageSlots[1].index = second;
    }
    return page;
}

// ---------------------------------------------------------------- session

ViewerSession::ViewerSession(QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("ViewerSession"));
    m_slideTimer = new QTimer(this);
    m_slideTimer->setObjectName(QStringLiteral("Timer1"));
    connect(m_slideTimer, &QTimer::timeout, this, &ViewerSession::SlideshowTick);
    m_history = std::make_unique<HistoryStore>(QString(), 0);
}

ViewerSession::~ViewerSession() = default;

// ---------------------------------------------------------------- settings and start-up

void ViewerSession::LoadSettings(const QRect& defaultWindow)
{
    if (m_iniPath.isEmpty())
        m_iniPath = IniSettings::IniPathFor(platform::ProgramFilePath(), platform::SettingsFolder());
    m_config = IniSettings::Load(m_iniPath, defaultWindow);
    m_loadedConfig = m_config;
    m_applications = m_config.AppDirs;
    m_state.RepeatMode = -1;
}

bool ViewerSession::SaveSettings()
{
    m_config.Window.ListMax = m_history ? m_history->Count() : m_config.Window.ListMax;
    m_config.AppDirs = m_applications;
    return IniSettings::SaveChanges(m_config, m_loadedConfig, m_iniPath);
}

void ViewerSession::ResetForStart()
{
    m_state.Viewing = false;
    m_state.SwitchLaunch = false;
    m_slideTimer->stop();
    m_images.Clear();
    m_images.SetSorted(true);
}

void ViewerSession::OpenHistoryStore()
{
    m_history = std::make_unique<HistoryStore>(QFileInfo(m_iniPath).absolutePath(), m_config.Window.ListMax);
}

void ViewerSession::RetakeGraphicFilter()
{
    m_graphicFilter = TFormatRegistry::Instance().GraphicFilter();
}

void ViewerSession::PrepareWorkFolder()
{
    if (const auto base = platform::PrivateWorkFolder()) {
        RemoveStaleWorkFolders(*base);
        m_workFolder = WorkFolderFor(*base, platform::CurrentProcessId());
        if (platform::DirectoryExists(m_workFolder))
            DeleteFolderTree(m_workFolder);
    }
}

void ViewerSession::RemoveWorkFolder()
{
    if (!m_workFolder.isEmpty() && platform::DirectoryExists(m_workFolder))
        DeleteFolderTree(m_workFolder);
}

void ViewerSession::ApplyCommandLine(const QStringList& arguments)
{
    // With /Siblings=On a single picture brings its folder's pictures.
    const auto isPicture = [this](const QString& path) {
        return !IsArchiveName(path) && IsImageName(path, m_graphicFilter) && !IsExcludedName(path);
    };
    m_startPicture = SiblingsLaunchFile(arguments, isPicture);
    for (const QString& argument : arguments) {
        if (!IsSwitchArgument(argument)) {
            if (m_startPicture.isEmpty())
                AddPaths({platform::CanonicalPath(argument)});
            else
                for (const QString& path : SiblingPictures(m_startPicture, isPicture).paths)
                    m_images.Add(path);
            continue;
        }
        LaunchState launch;
        launch.SwitchLaunch = m_state.SwitchLaunch;
        launch.RepeatMode = m_state.RepeatMode;
        launch.StartFullScreen = m_state.StartFullScreen;
        ApplySwitch(argument, m_config, launch);
        m_state.SwitchLaunch = launch.SwitchLaunch;
        m_state.RepeatMode = launch.RepeatMode;
        if (launch.AutoStart)
            ToggleSlideshow();
        if (launch.StartFullScreen && !m_state.StartFullScreen) {
            m_state.StartFullScreen = true;
            SetFullScreen(!m_state.FullScreen);
        }
    }
}

void ViewerSession::FinishStart()
{
    m_images.SetSorted(false);
    m_state.UndoFrom.clear();
    m_state.UndoTo.clear();
    m_state.PlayOrder = 2;
    ApplyPlayOrder(2);
}

void ViewerSession::SetApplications(const QStringList& applications)
{
    m_applications = applications;
    emit applicationsChanged();
}

void ViewerSession::EndViewing()
{
    m_state.Viewing = false;
}

// ---------------------------------------------------------------- opening routes

void ViewerSession::AddPath(const QString& path)
{
    if (platform::DirectoryExists(path)) {
        ScanFolder(path);
    } else if (IsArchiveName(path)) {
        OpenArchive(path);
    } else if (IsImageName(path, m_graphicFilter) && !IsExcludedName(path)) {
        if (platform::FileExists(path))
            m_images.Add(path);
    }
}

void ViewerSession::AddPaths(const QStringList& paths)
{
    try {
        for (const QString& path : paths)
            AddPath(path);
    } catch (const std::exception& error) {
        // An archive error ends the adding; the paths added before it stay.
        emit errorMessage(QString::fromUtf8(error.what()));
    }
}

bool ViewerSession::RunBackground(const QString& title, std::function<int()> countDone,
                                  const std::function<void(WorkProgress&)>& work)
{
    ++m_listBuilding;
    struct Leave {
        int& count;
        ~Leave() { --count; }
    } leave{m_listBuilding};
    if (m_runBackground)
        return m_runBackground(title, std::move(countDone), work);
    WorkProgress progress;
    work(progress);
    return true;
}

void ViewerSession::ScanFolder(const QString& folder)
{
    m_images.SetSorted(true);
    // The folder is read and its names sorted out off the window thread (a
    // folder of tens of thousands of files takes a while); the list is then
    // filled here, in the folder's order.
    struct Found {
        QString path;
        bool archive;
    };
    std::vector<Found> found;
    bool anyEntry = false;
    const QString filter = m_graphicFilter;
    RunBackground(MainTexts::Searching, {}, [&](WorkProgress& progress) {
        const QString prefix = IncludeBackslash(folder);
        const std::vector<platform::DirEntry> entries = platform::ListDirectory(folder);
        anyEntry = !entries.empty();
        for (const platform::DirEntry& entry : entries) {
            if (progress.Cancelled())
                break; // what was found so far stays
            progress.AddDone();
            if (entry.isDir)
                continue;
            const QString full = prefix + entry.name;
            if (IsArchiveName(full))
                found.push_back({full, true});
            else if (IsImageName(full, filter) && !IsExcludedName(full))
                found.push_back({full, false});
        }
    });
    for (const Found& item : found) {
        if (item.archive)
            OpenArchive(item.path);
        else
            m_images.Add(item.path);
    }
    if (anyEntry) {
        m_images.SetSorted(false);
        ApplyPlayOrder(m_state.PlayOrder);
    }
}

void ViewerSession::OpenArchive(const QString& archivePath)
{
    if (m_workFolder.isEmpty())
        return; // no safe work folder: archives cannot be unpacked
    // The archive the user opened and the archives found inside it share one
    // opening: one budget, a limited depth.
    const int depth = m_archiveDepth;
    if (depth == 0)
        m_archiveOpening = std::make_unique<TArchiveOpening>();
    struct EndOpening {
        std::unique_ptr<TArchiveOpening>& opening;
        int depth;
        ~EndOpening()
        {
            if (depth == 0)
                opening.reset();
        }
    } endOpening{m_archiveOpening, depth};
    // Beyond the depth limit or the spent budget: refused before a folder is
    // made for it (an archive holding copies of itself finds thousands).
    if (m_archiveOpening->Refusal(archivePath, depth).code != 0)
        return;
    m_reshowOnActivation = false;
    const QString folder = UnpackFolderFor(m_workFolder, archivePath);
    if (!QDir().mkpath(folder)) {
        m_reshowOnActivation = true;
        return;
    }
    const quintptr owner = reinterpret_cast<quintptr>(HelperOwnerWindow());
    TArchiveOpening::Result result;
    // The archiver libraries report no progress: the files that have
    // appeared in the folder are the files done. Cancel ends the library's
    // call at once (it runs in the helper process).
    const bool completed = RunBackground(
        MainTexts::Searching, [folder] { return CountFilesBelow(folder); },
        [&](WorkProgress& progress) {
            const helper::CancelScope cancellable(progress.CancelFlag());
            result = m_archiveOpening->Unpack(archivePath, folder, depth, owner);
        });
    if (!completed) {
        // Cancelled: nothing of this archive is kept.
        DeleteFolderTree(folder);
        m_reshowOnActivation = true;
        return;
    }
    if (!result.unpacked) {
        // Refused or nothing unpacked: the folder made for it, still empty,
        // goes too.
        QDir().rmdir(folder);
    } else {
        ++m_archiveDepth;
        struct Back {
            int& depth;
            ~Back() { --depth; }
        } back{m_archiveDepth};
        AddPath(folder);
    }
    m_reshowOnActivation = true;
}

void ViewerSession::OpenFiles(const QStringList& files)
{
    m_images.Clear();
    m_images.SetSorted(true);
    const bool unpacking = std::any_of(files.begin(), files.end(), [](const QString& f) { return IsArchiveName(f); });
    if (unpacking)
        emit searching(true);
    try {
        for (const QString& file : files) {
            const QString path = platform::CanonicalPath(file);
            // An archive is unpacked and its pictures listed, as for a drop.
            if (IsArchiveName(path))
                OpenArchive(path);
            else if (!IsExcludedName(file))
                m_images.Add(path);
        }
    } catch (const std::exception& error) {
        // An archive error ends the adding; the files added before it stay.
        emit errorMessage(QString::fromUtf8(error.what()));
    }
    if (unpacking)
        emit searching(false);
    m_images.SetSorted(false);
    ApplyPlayOrder(m_state.PlayOrder);
    ListLoaded();
    ShowPage();
}

void ViewerSession::OpenFolder(const QString& folder)
{
    if (!folder.isEmpty()) {
        emit searching(true);
        m_images.Clear();
        AddPaths({folder}); // a folder: ScanFolder
        emit searching(false);
        m_config.Window.LastDir = folder;
    }
    ListLoaded();
    ShowPage();
}

void ViewerSession::DropPaths(const QStringList& paths)
{
    m_images.SetSorted(true);
    emit searching(true);
    if (!paths.isEmpty())
        m_images.Clear();
    AddPaths(paths);
    emit searching(false);
    m_images.SetSorted(false);
    ApplyPlayOrder(m_state.PlayOrder);
    ListLoaded();
    ShowPage();
}

void ViewerSession::DropOnFullScreen(const QStringList& paths)
{
    m_images.SetSorted(true);
    emit searching(true);
    if (!paths.isEmpty())
        m_images.Clear();
    AddPaths(paths);
    emit searching(false);
    if (m_images.IsEmpty()) {
        ResetView();
    } else {
        emit listChanged();
        m_state.Viewing = true;
        m_state.CurrentIndex = 0;
    }
    emit viewingChanged(m_state.Viewing);
    m_images.SetSorted(false);
    ApplyPlayOrder(m_state.PlayOrder);
    ReapplyDisplayForm();
}

void ViewerSession::ListLoaded()
{
    if (m_images.IsEmpty()) {
        ResetView();
    } else {
        emit listChanged();
        // A /Siblings=On start shows the named picture first.
        m_state.CurrentIndex =
            m_startPicture.isEmpty() ? 0 : std::max(0, m_images.IndexOf(std::exchange(m_startPicture, QString())));
        m_state.Viewing = true;
        PushHistory();
    }
    emit listLoaded();
    emit viewingChanged(m_state.Viewing);
    emit historyChanged();
}

void ViewerSession::PushHistory()
{
    m_history->Push(m_images.ToStringList());
    m_config.Window.ListMax = m_history->Count();
}

void ViewerSession::OpenHistory(int n)
{
    QStringList list;
    if (!m_history->Open(n, list))
        return;
    m_config.Window.ListMax = m_history->Count();
    m_images.Clear();
    m_images.Assign(list);
    if (!list.isEmpty() && !platform::FileExists(list.first())) {
        m_images.Clear();
        emit errorMessage(QStringLiteral("指定された場所に画像が存在しません。"));
    }
    ListLoaded();
    ShowPage();
}

void ViewerSession::ClearHistory()
{
    m_history->Clear();
    m_config.Window.ListMax = 0;
    emit historyChanged();
}

// ---------------------------------------------------------------- play order and stepping

void ViewerSession::ApplyPlayOrder(int order)
{
    if (m_images.IsEmpty())
        return;
    switch (order) {
    case 1:
        m_images.Shuffle(m_randomSeed);
        break;
    case 2:
        m_images.SetSorted(true);
        m_images.SetSorted(false);
        break;
    case 3:
        m_images.SetSorted(true);
        m_images.SetSorted(false);
        m_images.Reverse();
        break;
    default:
        break;
    }
    m_state.CurrentIndex = 0;
    m_forward = true;
    ShowPage();
}

void ViewerSession::SelectPlayOrder(int order)
{
    m_state.PlayOrder = order;
    ApplyPlayOrder(order);
    emit playOrderChanged(order);
}

void ViewerSession::StepImage(bool forward)
{
    m_forward = forward;
    m_state.CurrentIndex = StepIndex(Form(), m_state.CurrentIndex, forward);
}

void ViewerSession::SetCurrentIndex(int index)
{
    m_state.CurrentIndex = index;
}

// ---------------------------------------------------------------- the page

void ViewerSession::ShowPage()
{
    emit pageAboutToShow();
    m_reshowOnActivation = false;
    if (m_images.IsEmpty()) {
        emit listChanged();
        if (m_state.Viewing) {
            emit noImagesLeft();
            ResetView();
        }
        return;
    }
    m_state.CurrentIndex = NormaliseIndex(Form(), m_state.CurrentIndex, m_images.Count());
    // Files that went away since the list was made are dropped.
    while (!m_images.IsEmpty() && !platform::FileExists(m_images.At(m_state.CurrentIndex))) {
        m_images.Delete(m_state.CurrentIndex);
        if (m_images.IsEmpty())
            break;
        if (m_state.CurrentIndex >= m_images.Count())
            --m_state.CurrentIndex;
    }
    if (m_images.IsEmpty()) {
        ResetView();
        return;
    }
    emit pageChanged(m_state.CurrentIndex);
}

ViewerPage ViewerSession::CurrentPage() const
{
    const int index = NormaliseIndex(Form(), m_state.CurrentIndex, m_images.Count());
    return PageAt(m_images, Form(), Orient(), index);
}

QString ViewerSession::PageCaption() const
{
    const int index = NormaliseIndex(Form(), m_state.CurrentIndex, m_images.Count());
    return MainTexts::ProductName + QStringLiteral(" -- [") + QString::number(index + 1) + QLatin1Char('/')
           + QString::number(m_images.Count()) + QStringLiteral("] ") + platform::DisplayFileName(m_images.At(index));
}

QStringList ViewerSession::NeighbourPaths(int ahead, int behind) const
{
    QStringList paths;
    if (m_images.IsEmpty())
        return paths;
    const DisplayForm form = Form();
    const int count = m_images.Count();
    const int current = NormaliseIndex(form, m_state.CurrentIndex, count);
    const QStringList shown = PageAt(m_images, form, Orient(), current).Paths();
    auto collect = [&](int steps, bool forward) {
        int index = current;
        for (int i = 0; i < steps; ++i) {
            index = NormaliseIndex(form, StepIndex(form, index, forward), count);
            for (const QString& path : PageAt(m_images, form, Orient(), index).Paths()) {
                if (!shown.contains(path) && !paths.contains(path))
                    paths << path;
            }
        }
    };
    collect(ahead, m_forward);
    collect(behind, !m_forward);
    return paths;
}

QString ViewerSession::CurrentPath() const
{
    if (m_images.IsEmpty())
        return {};
    return m_images.At(NormaliseIndex(Form(), m_state.CurrentIndex, m_images.Count()));
}

void ViewerSession::ResetView()
{
    m_state.Viewing = false;
    emit viewReset();
}

// ---------------------------------------------------------------- display settings

void ViewerSession::SetDisplayForm(int state)
{
    m_config.Tool.State = state;
    emit displayFormChanged();
}

void ViewerSession::ReapplyDisplayForm()
{
    emit displayFormChanged();
}

void ViewerSession::SetOrient(int orient)
{
    m_config.Tool.Orient = orient;
    ShowPage();
}

void ViewerSession::SetZoom(bool on)
{
    m_config.Option.Zoom = on;
    emit zoomChanged(on);
    if (m_state.Viewing)
        ShowPage();
}

void ViewerSession::SetFullScreen(bool on)
{
    m_state.FullScreen = on;
    emit fullScreenChanged(on);
}

void ViewerSession::SetCopyMode(bool copy)
{
    m_config.Option.Copy = copy;
    emit copyModeChanged(copy);
}

void ViewerSession::SetTransferOpen(bool open)
{
    m_config.Option.Open = open;
    emit transferOpenChanged(open);
}

void ViewerSession::SetOrganizingAllowed(bool on)
{
    m_organizingAllowed = on && !m_slideshow;
    emit organizingChanged(m_organizingAllowed);
}

void ViewerSession::ApplicationActivated()
{
    if (m_reshowOnActivation && m_state.Viewing && m_listBuilding == 0)
        ShowPage();
}

// ---------------------------------------------------------------- slideshow

bool ViewerSession::SlideshowRunning() const
{
    return m_slideTimer->isActive() || m_slideshow;
}

void ViewerSession::ToggleSlideshow()
{
    m_slideshow = !m_slideshow;
    if (!m_slideshow)
        m_slideTimer->stop();
    else
        ApplySlideshowInterval();
    emit slideshowChanged(m_slideshow);
}

void ViewerSession::ApplySlideshowInterval()
{
    const long long raw = static_cast<long long>(m_config.Option.Interval) * 1000 + m_config.Option.IntervalM;
    if (!m_slideshow)
        return;
    if (raw == 0) {
        m_slideTimer->stop(); // an interval of 0 never ticks
        return;
    }
    m_slideTimer->start(SlideshowIntervalMs(m_config.Option.Interval, m_config.Option.IntervalM));
}

void ViewerSession::SlideshowTick()
{
    // A picture still decoding keeps the slideshow where it is: each one is
    // on screen for at least the interval, as when decoding blocked.
    if (!m_state.Viewing || m_pagePending || m_listBuilding > 0)
        return;
    StepImage(true);
    if (m_state.SwitchLaunch && m_state.CurrentIndex >= m_images.Count()) {
        if (m_state.RepeatMode == -1) {
            m_state.Closing = true;
            ShowPage();
            emit closeRequested();
            return;
        }
        if (m_state.RepeatMode == 0) {
            ToggleSlideshow();
            StepImage(false);
            return;
        }
    }
    ShowPage();
}

// ---------------------------------------------------------------- files

void ViewerSession::DeleteCurrentImage()
{
    if (SlideshowRunning() || m_images.IsEmpty())
        return;
    m_state.CurrentIndex = NormaliseIndex(Form(), m_state.CurrentIndex, m_images.Count());
    const QString path = m_images.At(m_state.CurrentIndex);
    if (RecycleFile(path))
        return;
    m_images.Delete(m_state.CurrentIndex);
    if (m_images.IsEmpty())
        ResetView();
    emit listChanged();
}

void ViewerSession::LaunchApp(int index)
{
    if (index < 0 || index >= m_applications.size() || m_images.IsEmpty())
        return;
    const QString app = m_applications[index];
    const QString image = CurrentPath();
    // The program receives the path as one argument; no shell is involved,
    // so the quoting of a command line is not needed here.
    platform::StartDetached(app, LaunchArguments(app, image), QFileInfo(app).absolutePath());
}

void ViewerSession::SetUndoRecord(const QString& from, const QString& to)
{
    m_state.UndoFrom = from;
    m_state.UndoTo = to;
    emit undoRecordChanged();
}
