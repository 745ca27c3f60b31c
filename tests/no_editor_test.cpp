// A build without a window system: the effect is linked with the backend
// "none" and must not announce an editor that could never appear.
#include <gtest/gtest.h>

#include "support/plugin_host.h"
#include "uPlugin.h"

using namespace halvorine::test;

namespace {
AEffect* VSTCALLBACK linkedMain(audioMasterCallback host) {
    if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    return createEffectInstance(host)->getAeffect();
}
}  // namespace

TEST(WithoutAWindowSystem, NoEditorIsAnnouncedOrOpened) {
    TestHost host;
    AEffect* e = host.loadOrFail(&linkedMain);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->flags, effFlagsCanMono | effFlagsCanReplacing);
    void* rect = nullptr;
    int parent = 0;
    EXPECT_EQ(host.dispatch(e, effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, nullptr);
    EXPECT_EQ(host.dispatch(e, effEditOpen, 0, 0, &parent), 0);
    EXPECT_EQ(host.dispatch(e, effEditKeyDown, 'a', 0), 0);
    host.dispatch(e, effEditIdle);
    host.dispatch(e, effEditClose);
    e->setParameter(e, 3, 0.25f);  // no editor to tell
    EXPECT_EQ(e->getParameter(e, 3), 0.25f);
}
