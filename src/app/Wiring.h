#pragma once
// Links the subsystems to the main window: the plug-in search, the
// toolbox, the transfer engine and the dialogs the menu opens.
#include <memory>

class TfMain;

class ProgramWiring {
public:
    virtual ~ProgramWiring() = default;
    virtual void Attach(TfMain& main) = 0;
};

std::unique_ptr<ProgramWiring> MakeProgramWiring();
