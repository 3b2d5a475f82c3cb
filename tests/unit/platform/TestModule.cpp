// Loaded by the module tests under its Windows name "cvtestmodule.dll".

extern "C" int cvTestModuleAnswer() {
    return 42;
}
