// TfMain: showing the session's pages (fit, labels, "表示不可"), laying out
// the display area, the display form and the slideshow's status.
#include "MainWindow.h"

#include "viewer/FitPicture.h"
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

void TfMain::HideLabel(int position)
{
    LabelAt(position)->hide();
}

// Before a page is shown: a start in full screen ends, and the controls let
// go of the pictures that are about to be replaced.
void TfMain::BeforePageShown()
{
    if (m_session->State().StartFullScreen) {
        hide();
        RestorePlacement();
        m_session->SetStartFullScreen(false);
    }
    DetachPictures();
    m_pictures[0]->Clear();
    m_pictures[1]->Clear();
}

void TfMain::NoImagesLeft()
{
    platform::Beep();
    platform::MessageBox(this, MainTexts::NoImages, platform::MsgIcon::Error, platform::MsgOk);
}

void TfMain::ShowImages()
{
    const ViewerPage page = m_session->CurrentPage();
    setWindowTitle(m_session->PageCaption());

    bool shown[2] = {false, false};
    QStringList reasons; // why pictures of this page cannot be shown
    if (page.form == DisplayForm::SinglePage) {
        const QString& path = page.pageSlots[0].path;
        if (const auto reason = LoadPictureWithReason(path, *m_pictures[0])) {
            m_images[0]->Clear();
            m_images[0]->SetHint(QString());
            if (m_fullScreen)
                m_fullScreen->ImageAt(0)->Clear();
            ShowUndecodableReasons({UndecodableStatusText(*reason, path)});
            platform::Beep();
            return;
        }
        shown[0] = true;
        HideLabel(0);
        HideLabel(1);
    } else {
        for (int slot = 0; slot < 2; ++slot) {
            const PageSlot& place = page.pageSlots[static_cast<size_t>(slot)];
            if (place.path.isEmpty()) {
                HideLabel(place.position);
            } else if (const auto reason = LoadPictureWithReason(place.path, *m_pictures[static_cast<size_t>(slot)])) {
                ShowUndecodable(place.position);
                reasons << UndecodableStatusText(*reason, place.path);
            } else {
                HideLabel(place.position);
                shown[slot] = true;
            }
        }
    }
    ShowUndecodableReasons(reasons);
    for (int slot = 0; slot < page.slotCount; ++slot) {
        const PageSlot& place = page.pageSlots[static_cast<size_t>(slot)];
        if (shown[slot]) {
            ShowPicture(slot, place, page.form);
        } else {
            TImageControl* control = TargetControl(place.position);
            control->Clear();
            control->SetHint(QString());
        }
    }
    if (shown[0] || shown[1])
        m_session->SetReshowOnActivation(true);
}

// A decoded picture of a slot fitted into its place of the area.
void TfMain::ShowPicture(int slot, const PageSlot& place, DisplayForm form)
{
    const TPicture& picture = *m_pictures[static_cast<size_t>(slot)];
    TImageControl* control = TargetControl(place.position);
    FitInput in;
    in.areaWidth = m_areaWidth;
    in.areaHeight = m_areaHeight;
    in.position = place.position;
    in.pictureWidth = picture.Width();
    in.pictureHeight = picture.Height();
    in.zoom = m_session->Config().Option.Zoom;
    in.spread = form != DisplayForm::SinglePage;
    in.menuHeight = MenuHeight();
    control->setGeometry(FitPictureRect(in));
    control->SetGraphic(picture.Graphic());
    control->SetHint(place.path);
    control->show();
    if (m_session->State().FullScreen && m_fullScreen)
        m_fullScreen->raise();
}

void TfMain::DetachPictures()
{
    // Controls must not keep pointing at graphics that are about to be freed.
    if (!m_pictures[0])
        return;
    const TGraphic* owned[2] = {m_pictures[0]->Graphic(), m_pictures[1]->Graphic()};
    std::vector<TImageControl*> controls{m_images[0], m_images[1]};
    if (m_fullScreen) {
        controls.push_back(m_fullScreen->ImageAt(0));
        controls.push_back(m_fullScreen->ImageAt(1));
    }
    for (TImageControl* control : controls) {
        const TGraphic* g = control->Graphic();
        if (g && (g == owned[0] || g == owned[1]))
            control->Clear();
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
