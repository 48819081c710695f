// A test module without a self-description.
extern "C" __attribute__((visibility("default"))) int TestModuleTag() {
    return 2;
}
