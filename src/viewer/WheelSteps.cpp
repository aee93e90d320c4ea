#include "viewer/WheelSteps.h"

int WheelSteps::Add(int delta)
{
    // A turn back the other way starts counting afresh.
    if ((delta > 0 && m_pending < 0) || (delta < 0 && m_pending > 0))
        m_pending = 0;
    m_pending += delta;
    const int steps = m_pending / kUnitsPerStep;
    m_pending -= steps * kUnitsPerStep;
    return steps;
}
