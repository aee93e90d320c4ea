#pragma once
// Turns wheel movement into picture steps. A classic wheel reports 120
// units per notch; high-resolution wheels and touchpads report the same
// movement in many small events. Steps are counted per 120 units gathered,
// so one notch steps one picture however it arrives.
class WheelSteps {
public:
    static constexpr int kUnitsPerStep = 120;

    // Adds the movement of one event (positive: away from the user) and
    // gives the steps it completes: positive forward, negative backward.
    int Add(int delta);
    // Forgets a part-turn (a new list, a pause in the movement).
    void Reset() { m_pending = 0; }
    int Pending() const { return m_pending; }

private:
    int m_pending = 0;
};
