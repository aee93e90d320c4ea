#pragma once
// The main window's policy towards Susie plug-ins: which plug-ins it keeps,
// which extensions it leaves to the built-in decoders, and the start-up
// search of the [Susie Plug-in] Dir folder.
#include "decode/Graphic.h"

#include <QString>

class TSPI;
class TSPIs;

// OnSearch of SPIs1: only import plug-ins ("00IN") are kept; archive, export
// and unknown plug-ins are refused and released at once.
bool SPIs1SearchAccept(const TSPI& spi);

// OnPictureRegister of SPIs1: jpg, jpeg, gif, bmp, wmf and ico stay with the
// built-in decoders (the class is cleared); any other extension keeps the
// class offered.
void SPIs1PictureRegisterPolicy(const QString& extension, TGraphicClass& graphicClass);

// Sets SPIs1 up as the main window uses it: no preview, no automatic search,
// Susie and program folders, the two handlers above.
void ConfigureViewerSPIs(TSPIs& spis);

// The folder searched for the [Susie Plug-in] Dir text: the text itself, or
// the program's "plugins" folder when the text is empty.
QString ViewerPluginFolder(const QString& dirSetting);
// The mask given to Search: that folder followed by "/*.spi".
QString ViewerPluginMask(const QString& dirSetting);

// Runs the main window's plug-in search for the [Susie Plug-in] Dir text.
void SearchViewerPlugins(TSPIs& spis, const QString& dirSetting);
