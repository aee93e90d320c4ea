#include "FuzzCommon.h"
#include "decode/PngGraphic.h"

void OrvantoFuzzDecode(const QByteArray& bytes)
{
    TPngGraphic graphic;
    graphic.LoadFromStream(bytes);
    OrvantoFuzzTouch(graphic);
}
