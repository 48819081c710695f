// Runs against the real shared object, as another module of the runtime would.
#include <dlfcn.h>
#include <gtest/gtest.h>

TEST(SharedObject, LoadsByPathAndExportsResize) {
    void* h = dlopen(MVB_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, h) << dlerror();
    EXPECT_NE(nullptr, dlsym(h, "mmResize"));
    EXPECT_NE(nullptr, dlsym(h, "mmFarResize"));
    dlclose(h);
}
