#include "support/control_maker.h"

#include <cstdio>
#include <cstdlib>

#include "control/class_factory.h"

namespace orrery::test {

std::string testedProgId() {
    const char* progId = std::getenv("ORRERY_TEST_PROGID");
    return progId && progId[0] ? progId : "OrreryCtl.Orrery";
}

std::unique_ptr<control::Orrery> makeControl(window::WindowBackend& backend) {
    const std::string progId = testedProgId();
    for (const control::CreatableClass& c : control::creatableClasses()) {
        if (progId != c.progId || !c.isControl) continue;
        std::unique_ptr<automation::IUnknown> object;
        if (control::createInstance(c.clsid, backend, automation::IID_IDispatch, object) != automation::S_OK) break;
        return std::unique_ptr<control::Orrery>(dynamic_cast<control::Orrery*>(object.release()));
    }
    std::fprintf(stderr, "no control class has the program identifier %s\n", progId.c_str());
    std::abort();
}

}  // namespace orrery::test
