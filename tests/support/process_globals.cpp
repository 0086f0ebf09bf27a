// ProcessGlobalsGuard: the program's state structs copied whole. The loaded-data slots are kept as
// pointers only, so a test still releases what it loaded, and the heap's count of live blocks,
// which tests compare to find leaks, is left as the test left it.
#include "support/process_globals.h"

#include "data/data_locator.h"

ProcessGlobalsGuard::ProcessGlobalsGuard()
    : platform_(Platform),
      paths_(Paths),
      data_(Data),
      heap_(Heap),
      removal_(Removal),
      session_(Session),
      screen_(Screen),
      dataOffset_(DataOffset()) {}

ProcessGlobalsGuard::~ProcessGlobalsGuard() {
    SetDataOffset(dataOffset_);
    Platform = platform_;
    Paths = paths_;
    Data = data_;
    heap_.LiveBlockCount = Heap.LiveBlockCount;
    Heap = heap_;
    Removal = removal_;
    Session = session_;
    Screen = screen_;
}
