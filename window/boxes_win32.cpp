#include "window/boxes_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "replay/base/encoding.h"
#include "window/dialogs_win32.h"
#include "window/race_view_win32.h"
#include "window/texts.h"
#include "window/win32.h"

namespace {

namespace texts = vehisect::texts;

// A dialog template in memory, as DialogBoxIndirectParam takes it: the dialog, then its
// controls, each on a DWORD boundary, sizes in dialog units.
class DialogTemplate {
 public:
  DialogTemplate(const std::wstring& title, short width, short height) {
    Put(static_cast<DWORD>(DS_SETFONT | DS_SHELLFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU));
    Put(DWORD{0});
    count_ = words_.size();
    Put(WORD{0});  // the number of controls, counted as they are added
    for (const short value : {short{0}, short{0}, width, height}) Put(static_cast<WORD>(value));
    Put(WORD{0});  // no menu
    Put(WORD{0});  // the standard dialog class
    Put(title);
    Put(WORD{8});
    Put(std::wstring(L"MS Shell Dlg"));
  }
  /// Adds a control of the predefined class `atom` (0x80 a button, 0x82 a static text), or of
  /// the class named `name` where `atom` is 0.
  void Add(WORD atom, const wchar_t* name, const std::wstring& text, DWORD style, short x, short y, short cx,
           short cy, WORD id) {
    if (words_.size() % 2 != 0) Put(WORD{0});
    Put(static_cast<DWORD>(WS_CHILD | WS_VISIBLE | style));
    Put(DWORD{0});
    for (const short value : {x, y, cx, cy}) Put(static_cast<WORD>(value));
    Put(id);
    if (atom != 0) {
      Put(WORD{0xFFFF});
      Put(atom);
    } else {
      Put(std::wstring(name));
    }
    Put(text);
    Put(WORD{0});  // no creation data
    ++words_[count_];
  }
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Put(WORD word) { words_.push_back(word); }
  void Put(DWORD value) {
    Put(LOWORD(value));
    Put(HIWORD(value));
  }
  void Put(const std::wstring& text) {
    for (const wchar_t c : text) Put(static_cast<WORD>(c));
    Put(WORD{0});
  }
  std::vector<WORD> words_;  // from a DWORD-aligned start, as the template wants
  std::size_t count_ = 0;
};

// The dialog's controls.
enum DialogControl : int { kIntro = 201, kVehicles, kAll, kPicture, kSave };

constexpr int kColumns = static_cast<int>(std::size(texts::kColumns));

// The "Choose vehicles" dialog: the rows, ticked or not, and "All vehicles" following them.
class VehicleDialog {
 public:
  explicit VehicleDialog(const vehisect::VehicleChoice& choice) : choice_(choice) {}

  std::optional<std::vector<std::size_t>> Show(HWND owner) {
    // In dialog units: the rows on the left, the race beside them.
    DialogTemplate dialog(Widen(texts::kTitle), 560, 210);
    dialog.Add(0x82, nullptr, L"", SS_LEFT | SS_NOPREFIX, 7, 7, 546, 20, kIntro);
    dialog.Add(0, WC_LISTVIEWW, L"", WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 7, 30,
               340, 138, kVehicles);
    dialog.Add(0x82, nullptr, L"", SS_OWNERDRAW, 353, 30, 200, 138, kPicture);
    dialog.Add(0x80, nullptr, Widen(texts::kAllKey), WS_TABSTOP | BS_3STATE, 7, 172, 150, 12, kAll);
    dialog.Add(0x80, nullptr, Widen(texts::kSavePictureKey), WS_TABSTOP | BS_PUSHBUTTON, 363, 189, 80, 14, kSave);
    dialog.Add(0x80, nullptr, Widen(texts::kSplitKey), WS_TABSTOP | BS_DEFPUSHBUTTON, 449, 189, 50, 14, IDOK);
    dialog.Add(0x80, nullptr, Widen(texts::kCancel), WS_TABSTOP | BS_PUSHBUTTON, 503, 189, 50, 14, IDCANCEL);
    const INT_PTR pressed = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.get(), owner, Proc,
                                                    reinterpret_cast<LPARAM>(this));
    if (pressed != IDOK) return std::nullopt;
    return chosen_;
  }

 private:
  static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
    auto* self = reinterpret_cast<VehicleDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (self == nullptr) return FALSE;
    switch (message) {
      case WM_INITDIALOG:
        return self->OnInit(hwnd);
      case WM_NOTIFY: {
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(lparam);
        if (change->hdr.idFrom == kVehicles && change->hdr.code == LVN_ITEMCHANGED && (change->uChanged & LVIF_STATE)) {
          self->OnTicksChanged();
        }
        return FALSE;
      }
      case WM_COMMAND:
        return self->OnCommand(LOWORD(wparam));
      case WM_DRAWITEM:
        return self->OnDrawPicture(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
      default:
        return FALSE;
    }
  }

  INT_PTR OnInit(HWND hwnd) {
    hwnd_ = hwnd;
    list_ = GetDlgItem(hwnd, kVehicles);
    SetDlgItemTextW(hwnd, kIntro, Widen(choice_.intro + "\r\n" + choice_.summary).c_str());
    ListView_SetExtendedListViewStyle(list_, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    AddColumns();
    for (std::size_t k = 0; k < choice_.rows.size(); ++k) AddRow(static_cast<int>(k), choice_.rows[k]);
    // Wide enough for its header and for every cell below it, but no name wider than half the
    // list: a longer one is cut short.
    RECT list{};
    GetClientRect(list_, &list);
    for (int c = 0; c < kColumns; ++c) {
      ListView_SetColumnWidth(list_, c, LVSCW_AUTOSIZE);
      const int cells = ListView_GetColumnWidth(list_, c);
      // The header's own text, measured: autosizing to the header takes the cells too.
      const int header = ListView_GetStringWidth(list_, Widen(texts::kColumns[c]).c_str()) + 16;
      ListView_SetColumnWidth(list_, c, std::max(header, std::min<int>(cells, list.right / 2)));
    }
    ListView_SetItemState(list_, 0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    ready_ = true;
    OnTicksChanged();
    CenterOn(hwnd, GetParent(hwnd));
    SetFocus(list_);
    return FALSE;  // the focus is set
  }

  void AddColumns() {
    for (int c = 0; c < kColumns; ++c) {
      std::wstring header = Widen(texts::kColumns[c]);
      LVCOLUMNW column{};
      column.mask = LVCF_TEXT | LVCF_SUBITEM;
      column.pszText = header.data();
      column.iSubItem = c;
      ListView_InsertColumn(list_, c, &column);
    }
  }

  void AddRow(int k, const vehisect::VehicleChoice::Row& row) {
    const std::string cells[kColumns] = {row.position, row.driver,   row.vehicle, row.records, row.time,
                                         row.distance, row.topSpeed, row.output,  row.existing};
    colours_.push_back(ColourOf(row.colour.c_str()));
    std::wstring first = Widen(cells[0]);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = k;
    item.pszText = first.data();
    const int at = ListView_InsertItem(list_, &item);
    for (int c = 1; c < kColumns; ++c) {
      std::wstring text = Widen(cells[c]);
      ListView_SetItemText(list_, at, c, text.data());
    }
    ListView_SetCheckState(list_, at, TRUE);
  }

  std::vector<std::size_t> Ticked() const {
    std::vector<std::size_t> ticked;
    for (std::size_t k = 0; k < choice_.rows.size(); ++k) {
      if (ListView_GetCheckState(list_, static_cast<int>(k))) ticked.push_back(k);
    }
    return ticked;
  }

  INT_PTR OnDrawPicture(const DRAWITEMSTRUCT& item) {
    if (item.CtlID != kPicture) return FALSE;
    std::vector<bool> ticked(choice_.rows.size());
    for (const std::size_t k : Ticked()) ticked[k] = true;
    DrawRaceView(item.hDC, item.rcItem, choice_.race, colours_, ticked, ListView_GetNextItem(list_, -1, LVNI_SELECTED));
    return TRUE;
  }

  // The system's save dialog asks before it replaces a file.
  void OnSavePicture() {
    const std::optional<std::filesystem::path> file = SavePictureDialog(hwnd_);
    if (!file || !choice_.savePicture) return;
    const std::string failure = choice_.savePicture(*file, Ticked());
    if (!failure.empty()) {
      MessageBoxW(hwnd_, Widen(failure).c_str(), Widen(texts::kTitle).c_str(), MB_OK | MB_ICONWARNING);
    }
  }

  void OnTicksChanged() {
    if (!ready_) return;
    InvalidateRect(GetDlgItem(hwnd_, kPicture), nullptr, FALSE);
    const std::size_t ticked = Ticked().size();
    EnableWindow(GetDlgItem(hwnd_, IDOK), ticked > 0);
    CheckDlgButton(hwnd_, kAll,
                   ticked == 0 ? BST_UNCHECKED : ticked == choice_.rows.size() ? BST_CHECKED : BST_INDETERMINATE);
  }

  INT_PTR OnCommand(int id) {
    if (id == kSave) {
      OnSavePicture();
      return TRUE;
    }
    if (id == kAll) {
      const BOOL tick = Ticked().size() != choice_.rows.size();
      for (std::size_t k = 0; k < choice_.rows.size(); ++k) ListView_SetCheckState(list_, static_cast<int>(k), tick);
      OnTicksChanged();
      return TRUE;
    }
    if (id == IDOK) {
      chosen_ = Ticked();
      if (chosen_.empty()) return TRUE;
    }
    if (id != IDOK && id != IDCANCEL) return FALSE;
    EndDialog(hwnd_, id);
    return TRUE;
  }

  const vehisect::VehicleChoice& choice_;
  HWND hwnd_ = nullptr;
  HWND list_ = nullptr;
  bool ready_ = false;
  std::vector<std::size_t> chosen_;
  std::vector<COLORREF> colours_;
};

}  // namespace

void CenterOn(HWND box, HWND owner) {
  RECT outer{}, inner{};
  if (owner == nullptr || !GetWindowRect(owner, &outer) || !GetWindowRect(box, &inner)) return;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor);
  const LONG width = inner.right - inner.left, height = inner.bottom - inner.top;
  const RECT& work = monitor.rcWork;
  const LONG x = std::clamp((outer.left + outer.right - width) / 2, work.left, std::max(work.left, work.right - width));
  const LONG y = std::clamp((outer.top + outer.bottom - height) / 2, work.top, std::max(work.top, work.bottom - height));
  SetWindowPos(box, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::optional<std::vector<std::size_t>> ShowVehicleDialog(HWND owner, const vehisect::VehicleChoice& choice) {
  return VehicleDialog(choice).Show(owner);
}
