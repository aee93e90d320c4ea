#pragma once
// The archiver libraries' calling forms as the binding uses them.
#include "ArchiverAbi.h"

using ArcCommandFn = ArcCommandProc;
using ArcOpenArchiveFn = ArcOpenArchiveProc;
using ArcCloseArchiveFn = ArcCloseArchiveProc;
using ArcFindFirstFn = ArcFindFirstProc;
using ArcFindNextFn = ArcFindNextProc;
using ArcExtractMemFn = ArcExtractMemProc;
using ArcCheckArchiveFn = ArcCheckArchiveProc;
using ArcSetOwnerWindowExFn = ArcSetOwnerWindowExProc;
using ArcKillOwnerWindowExFn = ArcKillOwnerWindowExProc;
using ArcGetFileTimeFn = ArcGetTimeExProc;
using ArcGetSizeFn = ArcGetSizeExProc;
using ArcGetArchiveTypeFn = ArcGetArchiveTypeProc;
