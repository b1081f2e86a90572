// The library's shared factory state: a count of its live objects (proxies, stubs and outside
// references to the factory), which says whether the library may be unloaded.
#pragma once

namespace zent {

void ModuleLock();
void ModuleUnlock();
long ModuleLockCount();

}  // namespace zent
