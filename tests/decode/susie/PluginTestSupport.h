#pragma once
// Shared by the tests of the image-library plug-ins: the plug-in host over
// the program's plug-in folder, the real encoders run as programs, and
// pixel comparisons with a tolerance for lossy codecs.
#include "SusieTestSupport.h"

#include "decode/susie/SPIs.h"

#include <QStringList>

#include <memory>

// True when the program is on the PATH.
bool HaveTool(const QString& program);
// Runs a program to its end; true when it exited with 0. Its output is
// kept for the failure message.
::testing::AssertionResult RunTool(const QString& program, const QStringList& arguments);

// Compares colour (and alpha when withAlpha) of every pixel within the
// tolerance per channel.
::testing::AssertionResult NearPixels(const QImage& actual, const QImage& expected, int tolerance,
                                      bool withAlpha = false);
// The mean absolute difference per colour channel.
double MeanDifference(const QImage& actual, const QImage& expected);

// A smooth picture lossy codecs keep close.
QImage Gradient(int width, int height);
// A picture with alpha: colour of Sample, alpha from 128 to 255, and a
// fully transparent corner.
QImage WithAlpha(const QImage& colour);

class PluginHostTest : public SusieFolderTest {
protected:
    void SetUp() override;
    void TearDown() override;
    QString Write(const QString& name, const QByteArray& bytes);
    QString SavePng(const QString& name, const QImage& image);
    // Loads the way the viewer does; a null image when that fails.
    QImage LoadPicture(const QString& path);
    // Loads through one decoding from memory (GetPicture with memory input).
    QImage LoadFromMemory(const QString& path);
    // True when the load is stopped by an abort from the progress handler
    // at the plug-in's first report.
    bool AbortsOnFirstReport(const QString& path);

    std::unique_ptr<TSPIs> m_spis;
};
