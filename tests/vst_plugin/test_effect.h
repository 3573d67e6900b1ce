// What the test effect library (test_effect.cpp) and the tests that load it agree on.
#pragma once

#include "vst_plugin/text_helpers.h"

#ifdef CORVALEN_TEST_EFFECT_PATH
#include <string>

#include "tests/support/plugin_under_test.h"
#endif

namespace corvalen::test {

constexpr VstInt32 kTestEffectPrograms = 3;
constexpr VstInt32 kTestEffectParams = 4;

// The library's objects report to the host (audioMasterVendorSpecific, this index) when close()
// runs and when they are destroyed, with the number of its objects alive at that moment.
constexpr VstInt32 kCloseReport = packFourCharCode('c', 'l', 'o', 's');
constexpr VstInt32 kDestroyedReport = packFourCharCode('g', 'o', 'n', 'e');

#ifdef CORVALEN_TEST_EFFECT_PATH
// The library this build made; CORVALEN_TEST_EFFECT overrides it (e.g. under wine).
inline std::string testEffectPath() {
    return pathFromEnvironment("CORVALEN_TEST_EFFECT", CORVALEN_TEST_EFFECT_PATH);
}
#endif

}  // namespace corvalen::test
