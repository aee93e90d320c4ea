#include "FuzzCommon.h"
#include "decode/JpegGraphic.h"

void OrvantoFuzzDecode(const QByteArray& bytes)
{
    TJpegGraphic graphic;
    graphic.LoadFromStream(bytes);
    OrvantoFuzzTouch(graphic);
}
