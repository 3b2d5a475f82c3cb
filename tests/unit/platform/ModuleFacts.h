#pragma once
// What the loader cases expect of this system's loader: the file name it
// reports for a missing module, a library every process can load by its
// bare name with one of its exports, and whether a module refused for an
// unresolved symbol is reported with that symbol's name.

struct ModuleFacts {
    const char* missingModuleFile;
    const char* systemLibrary;
    const char* systemExport;
    bool namesTheUnresolvedSymbol;
};

extern const ModuleFacts kModuleFacts;
