#include "OlePictureGraphic.h"

const TGraphicClassInfo TOleGraphic::ClassInfo = {"TOleGraphic",
                                                  [] { return std::unique_ptr<TGraphic>(new TOleGraphic); }};
