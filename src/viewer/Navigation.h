#pragma once
// Index arithmetic of the display forms: normalising the current index and
// stepping through the list one page or one spread at a time.

enum class DisplayForm : int {
    SinglePage = 0, // "単ページ"
    SpreadOdd = 1, // "見開き(奇数)": pairs (0,1), (2,3), ...
    SpreadEven = 2, // "見開き(偶数)": 0 alone, then (1,2), (3,4), ...
};

inline DisplayForm DisplayFormFromSetting(int state)
{
    if (state == 1)
        return DisplayForm::SpreadOdd;
    if (state == 2)
        return DisplayForm::SpreadEven;
    return DisplayForm::SinglePage;
}

inline bool IsSpread(DisplayForm form)
{
    return form != DisplayForm::SinglePage;
}

// Brings an out-of-range index back into the list of `count` items,
// wrapping round at both ends as the display form requires. An index
// already in range is returned unchanged. count must be above 0.
int NormaliseIndex(DisplayForm form, int index, int count);

// The index after one step forward or backward (not yet normalised).
int StepIndex(DisplayForm form, int index, bool forward);
