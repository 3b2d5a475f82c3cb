// Links (shared libraries may leave symbols open) but cannot be loaded:
// nothing defines the symbol it calls.

extern "C" int cvSymbolNobodyDefines();

extern "C" int cvBrokenModuleAnswer() {
    return cvSymbolNobodyDefines();
}
