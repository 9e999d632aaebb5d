#include "app/win32/host_dialogs.h"

#include "app/resource_ids.h"
#include "app/screen_text.h"
#include "app/win32/forward_rule_dialog.h"
#include "app/win32/wide_text.h"
#include "ui/control_ids.h"
#include "ui/forward_rule_form.h"

namespace tarnu::win32 {
namespace {

// The controls that only count while forwarding is on.
constexpr int kForwardingControls[] = {IDC_NOTIFY_ADDRESS, IDC_SMTP_SERVER,  IDC_SMTP_PORT,
                                       IDC_SUBJECT_PREFIX, IDC_RULE_SUMMARY, IDC_EDIT_RULE};

struct TextLimit {
  int id;
  std::size_t bytes;
};
constexpr TextLimit kTextLimits[] = {
    {IDC_HOST_NAME, kHostTextLimit},      {IDC_SERVER, kHostTextLimit},
    {IDC_USER, kLoginTypingLimit},        {IDC_PASSWORD, kLoginTypingLimit},
    {IDC_NOTIFY_ADDRESS, kHostTextLimit}, {IDC_SMTP_SERVER, kHostTextLimit},
    {IDC_SUBJECT_PREFIX, kHostTextLimit},
};

struct Column {
  const char* title;
  int width;  // pixels at 96 dpi
};
constexpr Column kHostColumns[] = {{"ホスト名", 100}, {"アドレス", 120}, {"ユーザ名", 100}};

// State pictures of bitmap 138: 1 cyan circle (checked), 2 red cross.
constexpr int kCheckedPicture = 1;
constexpr int kUncheckedPicture = 2;
constexpr int kPictureSize = 16;

}  // namespace

// --- host settings -----------------------------------------------------------

bool HostSettingsDialog::Run(HWND owner) { return RunModal(owner, IDD_HOST_SETTINGS) == IDOK; }

bool HostSettingsDialog::OnInit() {
  SetText(IDC_HOST_NAME, form_.name);
  SetText(IDC_SERVER, form_.server);
  SetText(IDC_POP3_PORT, form_.pop3_port);
  SetText(IDC_USER, form_.user);
  SetText(IDC_PASSWORD, form_.password);
  SetText(IDC_LINES, form_.lines);
  SetText(IDC_TIMEOUT, form_.timeout);
  SetChecked(IDC_CHECK_HOST, form_.check);
  SetChecked(IDC_APOP, form_.apop);
  SetChecked(IDC_FORWARD, form_.forward);
  SetText(IDC_NOTIFY_ADDRESS, form_.notify_address);
  SetText(IDC_SMTP_SERVER, form_.smtp_server);
  SetText(IDC_SMTP_PORT, form_.smtp_port);
  SetText(IDC_SUBJECT_PREFIX, form_.subject_prefix);
  for (const TextLimit& limit : kTextLimits) LimitBytes(limit.id, limit.bytes);
  SetText(IDC_RULE_SUMMARY, RuleSummaryText(form_.rule));
  UpdateForwarding();
  return true;
}

void HostSettingsDialog::UpdateForwarding() {
  const bool on = Checked(IDC_FORWARD);
  for (int id : kForwardingControls) Enable(id, on);
}

void HostSettingsDialog::ReadControls() {
  form_.apop = Checked(IDC_APOP);
  form_.forward = Checked(IDC_FORWARD);
  form_.check = Checked(IDC_CHECK_HOST);
  form_.notify_address = Text(IDC_NOTIFY_ADDRESS);
  form_.name = Text(IDC_HOST_NAME);
  form_.lines = Text(IDC_LINES);
  form_.password = Text(IDC_PASSWORD);
  form_.pop3_port = Text(IDC_POP3_PORT);
  form_.server = Text(IDC_SERVER);
  form_.user = Text(IDC_USER);
  form_.timeout = Text(IDC_TIMEOUT);
  form_.smtp_server = Text(IDC_SMTP_SERVER);
  form_.smtp_port = Text(IDC_SMTP_PORT);
  form_.subject_prefix = Text(IDC_SUBJECT_PREFIX);
}

void HostSettingsDialog::EditRule() {
  ForwardRuleDialog dialog(form_.rule);
  if (!dialog.Run(hwnd())) return;
  form_.rule = dialog.rule();
  SetText(IDC_RULE_SUMMARY, RuleSummaryText(form_.rule));
}

bool HostSettingsDialog::Accept() {
  ReadControls();
  FormCheck check = Validate(form_);
  if (!check.ok) {
    Refuse(check);
    return false;
  }
  return true;
}

bool HostSettingsDialog::OnCommand(int id, int code) {
  switch (id) {
    case IDC_FORWARD:
      if (code == BN_CLICKED) UpdateForwarding();
      return true;
    case IDC_EDIT_RULE:
      if (code == BN_CLICKED) EditRule();
      return true;
    case IDOK:
      if (Accept()) End(IDOK);
      return true;
    default:
      return false;
  }
}

// --- host list ---------------------------------------------------------------

HostListDialog::~HostListDialog() {
  if (pictures_) ImageList_Destroy(pictures_);
}

bool HostListDialog::Run(HWND owner) { return RunModal(owner, IDD_HOST_LIST) == IDOK; }

bool HostListDialog::OnInit() {
  HWND list = Item(IDC_HOST_LIST);
  pictures_ =
      ImageList_LoadImageW(Program().instance, MAKEINTRESOURCEW(IDB_HOST_PICTURES), kPictureSize, 0,
                           RGB(255, 255, 255), IMAGE_BITMAP, LR_CREATEDIBSECTION);
  ListView_SetImageList(list, pictures_, LVSIL_STATE);
  list_.Attach(list, this);
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
  int index = 0;
  for (const Column& c : kHostColumns) {
    std::u16string title = SettingsTextToScreen(c.title);
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = Scale(c.width);
    column.pszText = const_cast<wchar_t*>(WidePointer(title));
    column.iSubItem = index;
    ListView_InsertColumn(list, index, &column);
    ++index;
  }
  Fill();
  return true;
}

void HostListDialog::OnDpiChanged(UINT old_dpi, UINT new_dpi) {
  HWND list = list_.hwnd();
  if (list == nullptr || old_dpi == 0) return;
  for (int i = 0; i < static_cast<int>(std::size(kHostColumns)); ++i) {
    int width = ListView_GetColumnWidth(list, i);
    ListView_SetColumnWidth(list, i,
                            MulDiv(width, static_cast<int>(new_dpi), static_cast<int>(old_dpi)));
  }
}

void HostListDialog::Fill() {
  HWND list = list_.hwnd();
  ListView_DeleteAllItems(list);
  const HostList& hosts = form_.entries();
  cells_.clear();
  for (const HostEntry& host : hosts) {
    cells_.push_back({SettingsTextToScreen(host.name), SettingsTextToScreen(host.server),
                      SettingsTextToScreen(host.user)});
  }
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_STATE;
    item.iItem = static_cast<int>(i);
    item.pszText = const_cast<wchar_t*>(WidePointer(cells_[i][0]));
    item.state = INDEXTOSTATEIMAGEMASK(hosts[i].check ? kCheckedPicture : kUncheckedPicture);
    item.stateMask = LVIS_STATEIMAGEMASK;
    int row = ListView_InsertItem(list, &item);
    if (row < 0) throw std::bad_alloc();
    ListView_SetItemText(list, row, 1, const_cast<wchar_t*>(WidePointer(cells_[i][1])));
    ListView_SetItemText(list, row, 2, const_cast<wchar_t*>(WidePointer(cells_[i][2])));
  }
}

std::u16string_view HostListDialog::Cell(int row, int column) const {
  if (row < 0 || static_cast<std::size_t>(row) >= cells_.size() || column < 0 || column > 2) {
    return std::u16string_view();
  }
  return cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

int HostListDialog::SelectedRow() const {
  return ListView_GetNextItem(list_.hwnd(), -1, LVNI_SELECTED);
}

void HostListDialog::AddHost() {
  HostSettingsDialog dialog(LoadHostForm(HostEntry()));
  if (!dialog.Run(hwnd())) return;
  form_.Add(dialog.form(), messages_);
  Fill();
}

void HostListDialog::EditHost() {
  const int row = SelectedRow();
  if (row < 0 || static_cast<std::size_t>(row) >= form_.entries().size()) return;
  HostSettingsDialog dialog(LoadHostForm(form_.entries()[static_cast<std::size_t>(row)]));
  if (dialog.Run(hwnd())) form_.Edit(row, dialog.form());
  Fill();
  ListView_SetItemState(list_.hwnd(), row, LVIS_SELECTED | LVIS_FOCUSED,
                        LVIS_SELECTED | LVIS_FOCUSED);
}

void HostListDialog::DeleteHost() {
  const int row = SelectedRow();
  if (row < 0) return;
  form_.Remove(row);
  Fill();
}

bool HostListDialog::OnCommand(int id, int code) {
  if (code != BN_CLICKED) return false;
  switch (id) {
    case IDC_HOST_ADD:
      AddHost();
      return true;
    case IDC_HOST_EDIT:
      EditHost();
      return true;
    case IDC_HOST_DELETE:
      DeleteHost();
      return true;
    default:
      return false;
  }
}

bool HostListDialog::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DRAWITEM:
      if (wparam != IDC_HOST_LIST) return false;
      list_.DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
      SetWindowLongPtrW(hwnd(), DWLP_MSGRESULT, TRUE);
      return true;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header->idFrom == IDC_HOST_LIST && header->code == NM_DBLCLK) EditHost();
      return false;
    }
    default:
      return false;
  }
}

}  // namespace tarnu::win32
