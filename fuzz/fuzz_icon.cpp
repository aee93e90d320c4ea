#include "FuzzCommon.h"
#include "decode/IconGraphic.h"

void OrvantoFuzzDecode(const QByteArray& bytes)
{
    TIconGraphic graphic;
    graphic.LoadFromStream(bytes);
    OrvantoFuzzTouch(graphic);
}
