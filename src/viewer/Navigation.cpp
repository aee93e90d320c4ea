#include "Navigation.h"

namespace {
bool isOdd(int value)
{
    return value % 2 != 0;
}
} // namespace

int NormaliseIndex(DisplayForm form, int index, int count)
{
    if (count <= 0)
        return index;
    const int last = count - 1;
    switch (form) {
    case DisplayForm::SinglePage:
        if (index < 0)
            return last;
        if (index > last)
            return 0;
        return index;
    case DisplayForm::SpreadOdd:
        if (index < -1)
            return isOdd(count) ? count - 1 : count - 2;
        if (index == -1 || index > last)
            return 0;
        return index;
    case DisplayForm::SpreadEven:
        if (index < -1)
            return isOdd(count) ? count - 2 : count - 1;
        if (index == -1 || index > last)
            return 0;
        return index;
    }
    return index;
}

int StepIndex(DisplayForm form, int index, bool forward)
{
    switch (form) {
    case DisplayForm::SinglePage:
        return forward ? index + 1 : index - 1;
    case DisplayForm::SpreadOdd:
        if (forward)
            return isOdd(index) ? index + 1 : index + 2;
        return isOdd(index) ? index - 1 : index - 2;
    case DisplayForm::SpreadEven:
        if (forward)
            return isOdd(index) ? index + 2 : index + 1;
        return index - 2;
    }
    return index;
}
