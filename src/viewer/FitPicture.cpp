#include "FitPicture.h"

#include <cmath>

int RoundHalfEven(double value)
{
    return static_cast<int>(std::nearbyint(value)); // default FE_TONEAREST
}

QRect FitPictureRect(const FitInput& in)
{
    const double W = in.areaWidth;
    const double H = in.areaHeight;
    const double pw = in.pictureWidth;
    const double ph = in.pictureHeight;

    enum class Fit { Natural, Height, Width } fit;
    if (pw <= W && ph <= H) {
        if (!in.zoom)
            fit = Fit::Natural;
        else if (ph > 0 && H > 0 && W / H > pw / ph)
            fit = Fit::Height;
        else
            fit = Fit::Width;
    } else if (pw <= W) {
        fit = Fit::Height;
    } else if (ph <= H) {
        fit = Fit::Width;
    } else {
        const double sW = W / pw;
        const double sH = H / ph;
        fit = sW >= sH ? Fit::Height : Fit::Width;
    }

    int width = 0;
    int height = 0;
    switch (fit) {
    case Fit::Natural:
        width = in.pictureWidth;
        height = in.pictureHeight;
        break;
    case Fit::Height:
        width = ph > 0 ? RoundHalfEven(pw * H / ph) : 0;
        height = in.areaHeight;
        break;
    case Fit::Width:
        width = in.areaWidth;
        height = pw > 0 ? RoundHalfEven(ph * W / pw) : 0;
        break;
    }

    int left = 0;
    int top = 0;
    auto heightFitLeft = [&] {
        if (!in.spread)
            return RoundHalfEven((W - width) / 2.0);
        return in.position == 0 ? in.areaWidth - width : in.areaWidth;
    };
    switch (fit) {
    case Fit::Natural:
        top = RoundHalfEven((H - height) / 2.0) + in.menuHeight;
        left = heightFitLeft();
        break;
    case Fit::Height:
        top = in.menuHeight;
        left = heightFitLeft();
        break;
    case Fit::Width:
        top = RoundHalfEven((H - height) / 2.0) + in.menuHeight;
        left = (in.spread && in.position == 1) ? in.areaWidth : 0;
        break;
    }
    return QRect(left, top, width, height);
}
