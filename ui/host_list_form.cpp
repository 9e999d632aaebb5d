#include "ui/host_list_form.h"

#include <new>

#include "model/host_list.h"

namespace tarnu {

bool HostListForm::Add(const HostForm& form, UserMessages* messages) {
  HostEntry entry;
  if (!StoreHostForm(form, &entry)) return false;
  return AppendHost(&working_, entry, messages);
}

bool HostListForm::Edit(int row, const HostForm& form) {
  if (row < 0 || static_cast<std::size_t>(row) >= working_.size()) return false;
  return StoreHostForm(form, &working_[static_cast<std::size_t>(row)]);
}

bool HostListForm::Remove(int row) {
  if (row < 0) return false;
  return RemoveHost(&working_, static_cast<std::size_t>(row));
}

bool HostListForm::Commit(HostList* hosts, UserMessages* messages) const {
  try {
    HostList copy = working_;
    // Histories belong to the live list: a check may have rewritten them
    // while the dialog was open. Each entry takes the history of the live
    // entry it was copied from; an added entry has none yet.
    for (HostEntry& entry : copy) {
      int live = FindHost(*hosts, entry.identity);
      if (live >= 0) entry.history = std::move((*hosts)[static_cast<std::size_t>(live)].history);
    }
    hosts->swap(copy);
  } catch (const std::bad_alloc&) {
    messages->ShowMessage("メモリが足りません");
    messages->RequestQuit(-1);
    return false;
  }
  return true;
}

}  // namespace tarnu
