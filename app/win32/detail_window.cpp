#include "app/win32/detail_window.h"

#include <cstring>
#include <string>

#include "app/resource_ids.h"
#include "app/screen_text.h"
#include "app/startup_logic.h"
#include "app/tray_logic.h"
#include "app/win32/wide_text.h"
#include "net/retrieve.h"

namespace tarnu::win32 {
namespace {

constexpr char kClipboardFailedText[] = "クリップボードを使用できません";
constexpr int kMargin = 10;      // pixels at 96 dpi
constexpr int kBottomBand = 40;  // below the body: the buttons' row

// A window's title as the progress line of a retrieval.
class WindowTitle : public StatusLine {
 public:
  explicit WindowTitle(HWND window) : window_(window) {}
  std::string GetTitle() override {
    int length = GetWindowTextLengthW(window_);
    std::wstring title(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    int got = GetWindowTextW(window_, title.data(), length + 1);
    title.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return std::string(Cp932Prefix(SettingsTextFromScreen(FromWide(title)), 255));
  }
  void SetTitle(const std::string& title) override {
    SetWindowTextW(window_, WidePointer(SettingsTextToScreen(title)));
  }

 private:
  HWND window_;
};

Box BoxOf(HWND dialog, HWND control) {
  RECT rect = {};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return Box{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

// A movable global block holding `data`, as the clipboard takes it.
HGLOBAL GlobalCopy(const void* data, std::size_t size) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  if (block == nullptr) return nullptr;
  void* target = GlobalLock(block);
  if (target == nullptr) {
    GlobalFree(block);
    return nullptr;
  }
  std::memcpy(target, data, size);
  GlobalUnlock(block);
  return block;
}

}  // namespace

void DetailWindow::Run(HWND owner) { RunModal(owner, IDD_MAIL_DETAIL); }

bool DetailWindow::OnInit() {
  texts_ = LoadDetailTexts(row_);
  body_ = BoxOf(hwnd(), Item(IDC_DETAIL_BODY));
  copy_ = BoxOf(hwnd(), Item(IDC_DETAIL_QUOTED_COPY));
  full_text_ = BoxOf(hwnd(), Item(IDC_DETAIL_FULL_TEXT));
  close_ = BoxOf(hwnd(), Item(IDCANCEL));
  laid_out_ = true;
  SetBodyFont();
  Fill();
  LayOut();
  return true;
}

void DetailWindow::OnDpiChanged(UINT old_dpi, UINT new_dpi) {
  // The dialog manager scales the controls; the places kept for the layout
  // follow.
  if (old_dpi == 0) return;
  auto scale = [old_dpi, new_dpi](Box* box) {
    box->left = MulDiv(box->left, static_cast<int>(new_dpi), static_cast<int>(old_dpi));
    box->top = MulDiv(box->top, static_cast<int>(new_dpi), static_cast<int>(old_dpi));
    box->width = MulDiv(box->width, static_cast<int>(new_dpi), static_cast<int>(old_dpi));
    box->height = MulDiv(box->height, static_cast<int>(new_dpi), static_cast<int>(old_dpi));
  };
  for (Box* box : {&body_, &copy_, &full_text_, &close_}) scale(box);
}

void DetailWindow::Fill() {
  SetWideText(IDC_DETAIL_SUBJECT, texts_.subject);
  SetWideText(IDC_DETAIL_FROM, texts_.from);
  SetWideText(IDC_DETAIL_TO, texts_.to);
  SetWideText(IDC_DETAIL_CC, texts_.cc);
  SetWideText(IDC_DETAIL_BODY, texts_.body);
  SetWideText(IDC_DETAIL_SIZE, texts_.size);
}

void DetailWindow::SetBodyFont() {
  if (settings_->font.face_name[0] != '\0') {
    LOGFONTW font = ToLogFontW(settings_->font);
    body_font_.Reset(CreateFontIndirectW(&font));
    if (body_font_.get()) {
      SendDlgItemMessageW(hwnd(), IDC_DETAIL_BODY, WM_SETFONT,
                          reinterpret_cast<WPARAM>(body_font_.get()), TRUE);
    }
    return;
  }
  // No font chosen yet: the window's own becomes the choice, so the basic
  // settings show it from now on.
  LOGFONTW own = {};
  HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(hwnd(), WM_GETFONT, 0, 0));
  if (font == nullptr || GetObjectW(font, sizeof own, &own) == 0) {
    font = GetStockObject(DEFAULT_GUI_FONT);
    GetObjectW(font, sizeof own, &own);
  }
  // The face the system really uses: the dialog font's name is often an
  // alias ("MS Shell Dlg") that the font selection does not list.
  if (HDC dc = GetDC(hwnd())) {
    HGDIOBJ old = SelectObject(dc, font);
    wchar_t face[LF_FACESIZE] = {};
    if (GetTextFaceW(dc, LF_FACESIZE, face) > 0) std::memcpy(own.lfFaceName, face, sizeof face);
    SelectObject(dc, old);
    ReleaseDC(hwnd(), dc);
  }
  settings_->font = FromLogFontW(own);
}

void DetailWindow::LayOut() {
  if (!laid_out_) return;
  RECT client;
  GetClientRect(hwnd(), &client);
  const DetailLayout layout = LayOutDetail(client.right, client.bottom, body_, copy_, full_text_,
                                           close_, Scale(kMargin), Scale(kBottomBand));
  auto place = [this](int id, const Box& box) {
    if (HWND control = Item(id)) {
      MoveWindow(control, box.left, box.top, box.width, box.height, TRUE);
    }
  };
  place(IDC_DETAIL_BODY, layout.body);
  place(IDC_DETAIL_QUOTED_COPY, layout.copy);
  place(IDC_DETAIL_FULL_TEXT, layout.full_text);
  place(IDCANCEL, layout.close);
  // The frame's own repaint may have covered the places the buttons left
  // and took: draw everything again.
  RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void DetailWindow::FetchFullText() {
  if (fetching_) return;
  fetching_ = true;
  Enable(IDC_DETAIL_FULL_TEXT, false);
  WindowTitle title(hwnd());
  std::string header, body, error;
  const Pop3Account account = row_.account != nullptr ? *row_.account : Pop3Account();
  const int result =
      RetrieveMessage(&title, pump_, row_.number, static_cast<std::uint32_t>(row_.mail.size),
                      account, &header, &body, &error);
  Enable(IDC_DETAIL_FULL_TEXT, true);
  fetching_ = false;
  if (result != 0) {
    ShowMessage(error);
    return;
  }
  texts_.body = BodyForScreen(body);
  Fill();
}

void DetailWindow::CopyQuoted() {
  const std::u16string text = WideText(IDC_DETAIL_BODY);
  DWORD start = 0, end = 0;
  SendDlgItemMessageW(hwnd(), IDC_DETAIL_BODY, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                      reinterpret_cast<LPARAM>(&end));
  const void* nul = std::memchr(settings_->quote, 0, sizeof settings_->quote);
  const std::size_t quote_length =
      nul ? static_cast<const char*>(nul) - settings_->quote : sizeof settings_->quote;
  const std::u16string copied = QuotedCopy(
      text, start, end, SettingsTextToScreen(std::string_view(settings_->quote, quote_length)));
  if (copied.empty()) return;

  if (!OpenClipboard(hwnd())) {
    ShowMessage(kClipboardFailedText);
    return;
  }
  if (!EmptyClipboard()) {
    CloseClipboard();
    ShowMessage(kClipboardFailedText);
    return;
  }
  // UTF-16 for every program today, and the same text in the system's code
  // page for those that read only plain text.
  HGLOBAL wide = GlobalCopy(copied.c_str(), (copied.size() + 1) * sizeof(char16_t));
  const std::wstring_view view(reinterpret_cast<const wchar_t*>(copied.data()), copied.size());
  int bytes = WideCharToMultiByte(CP_ACP, 0, view.data(), static_cast<int>(view.size()), nullptr, 0,
                                  nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0) {
    WideCharToMultiByte(CP_ACP, 0, view.data(), static_cast<int>(view.size()), narrow.data(), bytes,
                        nullptr, nullptr);
  }
  HGLOBAL plain = GlobalCopy(narrow.c_str(), narrow.size() + 1);
  if (wide == nullptr || plain == nullptr) {
    if (wide) GlobalFree(wide);
    if (plain) GlobalFree(plain);
    CloseClipboard();
    ShowMessage(kOutOfMemoryText);
    return;
  }
  const bool took_wide = SetClipboardData(CF_UNICODETEXT, wide) != nullptr;
  if (!took_wide) GlobalFree(wide);
  const bool took_plain = SetClipboardData(CF_TEXT, plain) != nullptr;
  if (!took_plain) GlobalFree(plain);
  CloseClipboard();
  if (!took_wide || !took_plain) ShowMessage(kClipboardFailedText);
}

bool DetailWindow::OnCommand(int id, int code) {
  if (code != BN_CLICKED) return false;
  switch (id) {
    case IDC_DETAIL_FULL_TEXT:
      FetchFullText();
      return true;
    case IDC_DETAIL_QUOTED_COPY:
      CopyQuoted();
      return true;
    case IDOK:  // Enter closes the window
      End(IDOK);
      return true;
    default:
      return false;
  }
}

bool DetailWindow::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SIZE:
    case WM_MOVE:
      LayOut();
      return false;
    case WM_CTLCOLORSTATIC:
      // A read-only edit asks here; the body shows the chosen colour.
      if (reinterpret_cast<HWND>(lparam) == Item(IDC_DETAIL_BODY)) {
        HDC dc = reinterpret_cast<HDC>(wparam);
        SetTextColor(dc, settings_->font_colour);
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        ReturnDirectly(reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW)));
        return true;
      }
      return false;
    default:
      return false;
  }
}

}  // namespace tarnu::win32
