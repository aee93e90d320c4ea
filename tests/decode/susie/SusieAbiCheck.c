/* The record layout as a C compiler sees it, for comparison with C++. */
#include "decode/susie/SusieAbi.h"

size_t SusieAbiCheckRecordSize(void)
{
    return sizeof(SusiePictureInfo);
}

size_t SusieAbiCheckTextOffset(void)
{
    return offsetof(SusiePictureInfo, hInfo);
}

size_t SusieAbiCheckDepthOffset(void)
{
    return offsetof(SusiePictureInfo, colorDepth);
}
