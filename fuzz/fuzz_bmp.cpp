#include "FuzzCommon.h"
#include "decode/BmpGraphic.h"

void OrvantoFuzzDecode(const QByteArray& bytes)
{
    TBitmapGraphic graphic;
    graphic.LoadFromStream(bytes);
    OrvantoFuzzTouch(graphic);
}
