#include "app/Wiring.h"

#include "viewer/MainWindow.h"

namespace {

class Wiring : public ProgramWiring {
public:
    void Attach(TfMain& main) override
    {
        Q_UNUSED(main);
    }
};

} // namespace

std::unique_ptr<ProgramWiring> MakeProgramWiring()
{
    return std::make_unique<Wiring>();
}
