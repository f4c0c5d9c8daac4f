// Support layer of the stub: a private heap for the path strings of the
// folder enumeration, set up from the process entry's arguments.
//
// A private heap keeps the many short-lived path strings of a deep folder
// walk apart from the image buffer and the decoder's window. Until (or
// unless) the layer is initialised the strings come from the process heap,
// so EmptyFolder works in every state.
#include "shell/support_layer.h"

namespace sfx {
namespace {

HANDLE path_heap = nullptr;
int allocation_budget = -1;  // -1: no test-imposed limit

HANDLE ActivePathHeap() { return path_heap != nullptr ? path_heap : GetProcessHeap(); }

}  // namespace

bool InitSupportLayer(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*command_line*/, int /*show_command*/) {
  if (instance == nullptr) return false;
  if (path_heap == nullptr) path_heap = HeapCreate(0, 0, 0);
  return path_heap != nullptr;
}

wchar_t* AllocPathString(std::size_t units) {
  if (allocation_budget == 0) return nullptr;
  if (allocation_budget > 0) --allocation_budget;
  return static_cast<wchar_t*>(HeapAlloc(ActivePathHeap(), 0, units * sizeof(wchar_t)));
}

void FreePathString(wchar_t* text) {
  if (text != nullptr) HeapFree(ActivePathHeap(), 0, text);
}

void SetPathAllocationBudgetForTesting(int successful_allocations) { allocation_budget = successful_allocations; }

}  // namespace sfx
