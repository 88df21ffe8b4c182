// The control class the control tests run under. CTest runs each control
// test once for every class (tests/CMakeLists.txt): ORRERY_TEST_PROGID names
// the class by program identifier, and Orrery is the default.
#pragma once
#include <memory>
#include <string>

#include "control/orrery.h"

namespace orrery::test {

std::string testedProgId();
// A control of the tested class on `backend`, made through its class factory.
std::unique_ptr<control::Orrery> makeControl(window::WindowBackend& backend);

}  // namespace orrery::test
