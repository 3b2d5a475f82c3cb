// Built only to give the broken module an import that the loader cannot
// find at run time: the DLL is put where no search looks.

extern "C" int cvSymbolNobodyDefines() {
    return 0;
}
