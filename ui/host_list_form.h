// The working list of the host list dialog ("接続先"): a copy of the host
// list taken when the dialog opens, edited by add, edit and delete, and
// copied back only on OK.
#ifndef TARNU_UI_HOST_LIST_FORM_H_
#define TARNU_UI_HOST_LIST_FORM_H_

#include "model/host_entry.h"
#include "platform/ui_hooks.h"
#include "ui/host_form.h"

namespace tarnu {

class HostListForm {
 public:
  explicit HostListForm(const HostList& hosts) : working_(hosts) {}

  // Row i of the dialog shows entry i.
  const HostList& entries() const { return working_; }

  // "追加": appends the new entry, edited from the defaults through `form`.
  // False when the form does not pass or memory ran out (then the message is
  // shown and the quit requested).
  bool Add(const HostForm& form, UserMessages* messages);
  // "編集": stores the form into the entry at `row`, which keeps its mail
  // lists. A row of -1 (nothing selected) or past the end does nothing.
  bool Edit(int row, const HostForm& form);
  // "削除": removes the entry at `row` at once; -1 does nothing.
  bool Remove(int row);

  // OK: the host list becomes a copy of the working list, except that every
  // entry keeps the history its live counterpart holds now (a check may have
  // run while the dialog was open). On want of memory the message is shown,
  // the quit requested, and the host list kept.
  bool Commit(HostList* hosts, UserMessages* messages) const;

 private:
  HostList working_;
};

}  // namespace tarnu

#endif  // TARNU_UI_HOST_LIST_FORM_H_
