#pragma once
// TfSame: the same-name conflict dialog. Shows the source and the file
// already in the destination side by side and asks what to do.
#include "decode/Picture.h"

#include <QDialog>

class QFontMetrics;
class QFrame;
class QLabel;
class QPushButton;
class TImageControl;

// The info of one side: "%d x %d - Size: %.0n byte - [ %s ]" with the
// size grouped by thousands (1,234,567). The dialog shows it on two lines,
// SameSizeLine ("%d x %d - Size: %.0n byte") above SameNameLine ("[ %s ]"),
// so that a long name has a line of its own.
QString SameInfoLine(int width, int height, qint64 size, const QString& fileName);
QString SameSizeLine(int width, int height, qint64 size);
QString SameNameLine(const QString& fileName);
QString GroupThousands(qint64 value);
// The name line within `available` pixels: a file name too long for it is
// shortened in its middle ("…"), keeping its start and its extension.
QString FittedSameNameLine(const QFontMetrics& metrics, int available, const QString& fileName);

class TfSame : public QDialog {
    Q_OBJECT
public:
    // geometry: the [SameBox] rectangle it opens with; it is written back
    // when the dialog closes (see Geometry()).
    // zoom: [Option] Zoom, which FitPicture follows for small pictures.
    TfSame(const QString& source, const QString& destination, const QRect& geometry, bool zoom = false,
           QWidget* parent = nullptr);

    // Shows the dialog modally: 6, 5, 3 or 2 (closing the window is 2).
    int Ask();
    // The place and size to remember.
    QRect Geometry() const { return geometry(); }

    QLabel* Label1() const { return m_label1; }
    QLabel* Label2() const { return m_label2; }
    QLabel* Label3() const { return m_label3; }
    QLabel* LeftText() const { return m_leftText; }
    QLabel* RightText() const { return m_rightText; }
    QLabel* LeftName() const { return m_leftName; }
    QLabel* RightName() const { return m_rightName; }
    QFrame* LeftPanel() const { return m_leftPanel; }
    QFrame* RightPanel() const { return m_rightPanel; }
    TImageControl* LeftImage() const { return m_leftImage; }
    TImageControl* RightImage() const { return m_rightImage; }
    QLabel* LeftLabel() const { return m_leftLabel; }
    QLabel* RightLabel() const { return m_rightLabel; }
    QPushButton* BitBtn1() const { return m_btn1; }
    QPushButton* BitBtn2() const { return m_btn2; }
    QPushButton* BitBtn3() const { return m_btn3; }
    QPushButton* BitBtn4() const { return m_btn4; }

    // Lays the controls out for the current size (run on every resize).
    void LayoutControls();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ShowSide(const QString& path, TPicture& picture, bool loaded, QFrame* panel, TImageControl* image,
                  QLabel* label, QLabel* text, QLabel* nameLine);

    QString m_source;
    QString m_destination;
    TPicture m_sourcePicture;
    TPicture m_destinationPicture;
    bool m_sourceLoaded = false;
    bool m_destinationLoaded = false;
    bool m_zoom = false;

    QFrame* m_top = nullptr;
    QFrame* m_bottom = nullptr;
    QLabel* m_label1 = nullptr;
    QLabel* m_label2 = nullptr;
    QLabel* m_label3 = nullptr;
    QLabel* m_leftText = nullptr;
    QLabel* m_rightText = nullptr;
    QLabel* m_leftName = nullptr;
    QLabel* m_rightName = nullptr;
    QFrame* m_leftPanel = nullptr;
    QFrame* m_rightPanel = nullptr;
    TImageControl* m_leftImage = nullptr;
    TImageControl* m_rightImage = nullptr;
    QLabel* m_leftLabel = nullptr;
    QLabel* m_rightLabel = nullptr;
    QPushButton* m_btn1 = nullptr;
    QPushButton* m_btn2 = nullptr;
    QPushButton* m_btn3 = nullptr;
    QPushButton* m_btn4 = nullptr;
};
