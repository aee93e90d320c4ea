#include "FuzzCommon.h"
#include "decode/OleBitmap.h"

void OrvantoFuzzDecode(const QByteArray& bytes)
{
    TOleBITMAP graphic;
    graphic.LoadFromStream(bytes);
    OrvantoFuzzTouch(graphic);
}
