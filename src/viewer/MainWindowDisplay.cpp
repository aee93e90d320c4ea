// TfMain: showing the session's pages (fit, labels, "表示不可"), laying out
// the display area, the display form and the slideshow's status.
#include "MainWindow.h"

#include "viewer/FitPicture.h"
#include "viewer/PageLoader.h"
#include "viewer/UndecodableReason.h"
#include "viewer/common/SlideshowText.h"
#include "viewer/common/ImageControl.h"
#include "fullscreen/FullScreenWindow.h"
#include "platform/Desktop.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QStatusBar>

#include <cmath>
#include <utility>

int TfMain::MenuHeight() const
{
    return 0; // positions are relative to the display area below the menu bar
}

TImageControl* TfMain::ImageAt(int position) const
{
    return m_images[static_cast<size_t>(position & 1)];
}

QLabel* TfMain::LabelAt(int position) const
{
    return m_labels[static_cast<size_t>(position & 1)];
}

TImageControl* TfMain::TargetControl(int position) const
{
    if (m_session->State().FullScreen && m_fullScreen)
        return m_fullScreen->ImageAt(position);
    return ImageAt(position);
}

QString TfMain::StatusText() const
{
    return statusBar()->currentMessage();
}

void TfMain::SetStatusText(const QString& text)
{
    statusBar()->showMessage(text);
}

void TfMain::LayoutArea(bool spread)
{
    if (m_session->State().Closing)
        return;
    QSize client;
    if (m_fullScreen) {
        m_fullScreen->ImageAt(0)->Clear();
        m_fullScreen->ImageAt(1)->Clear();
        client = m_fullScreen->size();
    } else {
        m_images[0]->Clear();
        m_images[1]->Clear();
        client = m_display->size();
    }
    m_areaWidth = spread ? client.width() / 2 : client.width();
    m_areaHeight = client.height();
}

void TfMain::ShowUndecodable(int position)
{
    QLabel* label = LabelAt(position);
    const QFontMetrics own(font());
    label->adjustSize();
    const int top = (m_areaHeight - std::abs(label->font().pixelSize())) / 2 + MenuHeight();
    const int left = position * m_areaWidth + (m_areaWidth - own.horizontalAdvance(label->text())) / 2;
    label->move(left, top);
    label->show();
    label->raise();
}

void TfMain::ShowUndecodableReasons(const QStringList& reasons)
{
    if (!reasons.isEmpty()) {
        SetStatusText(reasons.join(QStringLiteral(" / ")));
        m_reasonShown = true;
    } else if (m_reasonShown) {
        // The next page: the status bar shows the slideshow's state again.
        const Settings& config = m_session->Config();
        SetStatusText(m_session->SlideshowOn() ? SlideshowOnText(config.Option.Interval, config.Option.IntervalM)
                                               : SlideshowOffText());
        m_reasonShown = false;
    }
}

// The reasons of the current page's slots that failed, in slot order.
void TfMain::ShowSlotReasons()
{
    QStringList reasons;
    for (const QString& reason : m_slotReasons)
        if (!reason.isEmpty())
            reasons << reason;
    ShowUndecodableReasons(reasons);
}

void TfMain::HideLabel(int position)
{
    LabelAt(position)->hide();
}

// Before a page is shown: a start in full screen ends. The pictures on
// screen stay until those of the new page have arrived.
void TfMain::BeforePageShown()
{
    if (m_session->State().StartFullScreen) {
        hide();
        RestorePlacement();
        m_session->SetStartFullScreen(false);
    }
}

void TfMain::NoImagesLeft()
{
    m_pageLoader->Clear();
    ReleaseShownPictures();
    platform::Beep();
    platform::MessageBox(this, MainTexts::NoImages, platform::MsgIcon::Error, platform::MsgOk);
}

// The caption moves at once; the pictures are asked of the pipeline and
// shown by ShowSlot as each arrives (at once when it is in the cache).
void TfMain::ShowImages()
{
    m_page = m_session->CurrentPage();
    setWindowTitle(m_session->PageCaption());
    m_session->SetReshowOnActivation(false);
    m_slotReasons = {};
    ShowSlotReasons();

    std::vector<ShownSlot> shownSlots(2);
    for (int slot = 0; slot < m_page.slotCount; ++slot) {
        const PageSlot& place = m_page.pageSlots[static_cast<size_t>(slot)];
        if (place.path.isEmpty()) {
            HideLabel(place.position);
            ClearSlotControl(slot);
            continue;
        }
        shownSlots[static_cast<size_t>(slot)].path = place.path;
        shownSlots[static_cast<size_t>(slot)].fit = FitFor(place.position);
    }
    for (int slot = m_page.slotCount; slot < 2; ++slot)
        m_shown[static_cast<size_t>(slot)].reset();
    DetachUnheldGraphics();
    std::vector<PictureRequest> ahead;
    for (const QString& path : m_session->NeighbourPaths(2, 1)) {
        PictureRequest request;
        request.path = path;
        request.fit = FitFor(0);
        ahead.push_back(request);
    }
    m_pageLoader->ShowPage(shownSlots, ahead);
    m_session->SetPagePending(m_pageLoader->Waiting());
}

FitInput TfMain::FitFor(int position) const
{
    FitInput in;
    in.areaWidth = m_areaWidth;
    in.areaHeight = m_areaHeight;
    in.position = position;
    in.zoom = m_session->Config().Option.Zoom;
    in.spread = m_page.form != DisplayForm::SinglePage;
    in.menuHeight = MenuHeight();
    return in;
}

// A slot's picture (or its failure) fitted into its place of the area.
void TfMain::ShowSlot(int slot, const DecodedPicturePtr& picture)
{
    m_session->SetPagePending(m_pageLoader->Waiting());
    const PageSlot& place = m_page.pageSlots[static_cast<size_t>(slot)];
    if (!picture->Ok()) {
        if (m_page.form == DisplayForm::SinglePage) {
            m_images[0]->Clear();
            m_images[0]->SetHint(QString());
            if (m_fullScreen)
                m_fullScreen->ImageAt(0)->Clear();
            m_shown[0].reset();
            DetachUnheldGraphics();
            m_slotReasons[0] = UndecodableStatusText(picture->failure, picture->path);
            ShowSlotReasons();
            platform::Beep();
            return;
        }
        ShowUndecodable(place.position);
        ClearSlotControl(slot);
        m_slotReasons[static_cast<size_t>(slot)] = UndecodableStatusText(picture->failure, picture->path);
        ShowSlotReasons();
        return;
    }
    if (!m_slotReasons[static_cast<size_t>(slot)].isEmpty()) {
        m_slotReasons[static_cast<size_t>(slot)].clear();
        ShowSlotReasons();
    }
    if (m_page.form == DisplayForm::SinglePage) {
        HideLabel(0);
        HideLabel(1);
    } else {
        HideLabel(place.position);
    }
    FitInput in = FitFor(place.position);
    in.pictureWidth = picture->graphic->Width();
    in.pictureHeight = picture->graphic->Height();
    TImageControl* control = TargetControl(place.position);
    control->setGeometry(FitPictureRect(in));
    control->SetGraphic(picture->graphic.get(), picture->display);
    control->SetHint(picture->path);
    control->show();
    if (m_session->State().FullScreen && m_fullScreen)
        m_fullScreen->raise();
    // The picture shown before is let go only now, and no control keeps it.
    const DecodedPicturePtr before = std::exchange(m_shown[static_cast<size_t>(slot)], picture);
    DetachUnheldGraphics();
    m_session->SetReshowOnActivation(true);
}

void TfMain::ClearSlotControl(int slot)
{
    TImageControl* control = TargetControl(m_page.pageSlots[static_cast<size_t>(slot)].position);
    control->Clear();
    control->SetHint(QString());
    m_shown[static_cast<size_t>(slot)].reset();
    DetachUnheldGraphics();
}

void TfMain::ReleaseShownPictures()
{
    m_shown[0].reset();
    m_shown[1].reset();
    DetachUnheldGraphics();
}

void TfMain::DetachUnheldGraphics()
{
    // Controls must not keep pointing at graphics that are about to be freed.
    std::vector<TImageControl*> controls{m_images[0], m_images[1]};
    if (m_fullScreen) {
        controls.push_back(m_fullScreen->ImageAt(0));
        controls.push_back(m_fullScreen->ImageAt(1));
    }
    for (TImageControl* control : controls) {
        const TGraphic* g = control->Graphic();
        const bool held =
            (m_shown[0] && m_shown[0]->graphic.get() == g) || (m_shown[1] && m_shown[1]->graphic.get() == g);
        if (g && !held)
            control->Clear();
    }
}

void TfMain::ShowBusy(bool busy)
{
    // A widget cursor: the full-screen window's hidden cursor (one for the
    // whole application) still wins over it.
    QWidget* targets[] = {m_display, m_fullScreen.data()};
    for (QWidget* target : targets) {
        if (!target)
            continue;
        if (busy)
            target->setCursor(Qt::BusyCursor);
        else
            target->unsetCursor();
    }
}

void TfMain::ApplyDisplayForm()
{
    const bool spread = IsSpread(m_session->Form());
    m_images[1]->setVisible(spread);
    if (m_fullScreen)
        m_fullScreen->ImageAt(1)->setVisible(spread);
    SetOrganizingControls(!spread);
    m_actions.clipcopy1->setEnabled(!spread);
    LayoutArea(spread);
    m_session->ShowPage();
}

void TfMain::SetOrganizingControls(bool on)
{
    m_session->SetOrganizingAllowed(on);
}

void TfMain::ResetView()
{
    m_pageLoader->Clear();
    m_session->SetPagePending(false);
    ReleaseShownPictures();
    m_actions.slideshow1->setEnabled(false);
    for (TImageControl* image : m_images) {
        image->Clear();
        image->SetHint(QString());
        image->setGeometry(0, MenuHeight(), 0, 0);
    }
    HideLabel(0);
    HideLabel(1);
    setWindowTitle(QString());
    EnableFileActions(false);
}

void TfMain::SlideshowChanged(bool on)
{
    m_actions.slideshow1->setChecked(on);
    if (!on) {
        SetOrganizingControls(m_session->Form() == DisplayForm::SinglePage);
        SetStatusText(SlideshowOffText());
    } else {
        SetOrganizingControls(false);
        const Settings& config = m_session->Config();
        SetStatusText(SlideshowOnText(config.Option.Interval, config.Option.IntervalM));
    }
}

void TfMain::CopyToClipboard()
{
    const TGraphic* graphic = nullptr;
    if (m_session->State().FullScreen && m_fullScreen)
        graphic = m_fullScreen->ImageAt(0)->Graphic();
    else
        graphic = m_images[0]->Graphic();
    if (!graphic)
        return;
    if (graphic->IsReduced()) {
        // Only a reduced picture is held for the screen: the clipboard gets
        // the whole picture, decoded now off the window thread.
        const bool full = m_session->State().FullScreen && m_fullScreen;
        const QString path = full ? m_fullScreen->ImageAt(0)->Hint() : m_images[0]->Hint();
        m_pipeline->DecodeFull(path, [](const DecodedPicturePtr& decoded) {
            if (decoded && decoded->Ok())
                QGuiApplication::clipboard()->setImage(decoded->graphic->ToImage());
        });
        return;
    }
    const QImage image = graphic->ToImage();
    if (!image.isNull())
        QGuiApplication::clipboard()->setImage(image);
}

void TfMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (m_fullScreen)
        return;
    LayoutArea(IsSpread(m_session->Form()));
    if (m_session->State().Viewing)
        m_session->ShowPage();
}
