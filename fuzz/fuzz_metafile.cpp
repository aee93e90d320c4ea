#include "FuzzCommon.h"
#include "decode/MetafileGraphic.h"

void OrvantoFuzzDecode(const QByteArray& bytes)
{
    TMetafileGraphic graphic;
    graphic.LoadFromStream(bytes);
    OrvantoFuzzTouch(graphic);
}
