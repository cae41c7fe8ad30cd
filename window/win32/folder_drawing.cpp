// Painting of the folder list's rows: each folder one step further in than its parent, with a
// folder glyph, open for the chain down to the current folder and closed for its subfolders.
#include <array>

#include "window/win32/list_controls.h"
#include "window/win32/text.h"

namespace qv::win32 {
namespace {

void draw_glyph(HDC dc, RECT box, bool open) {
  const int width = box.right - box.left;
  const int height = box.bottom - box.top;
  const int unit = height >= 16 ? height / 8 : 1;
  HPEN outline = CreatePen(PS_SOLID, 1, RGB(128, 96, 0));
  HBRUSH back = CreateSolidBrush(RGB(230, 180, 60));
  HBRUSH front = CreateSolidBrush(RGB(255, 220, 110));
  HGDIOBJ old_pen = SelectObject(dc, outline);
  HGDIOBJ old_brush = SelectObject(dc, back);

  const int left = box.left + unit;
  const int right = box.right - unit;
  const int top = box.top + 2 * unit;
  const int bottom = box.bottom - unit;
  Rectangle(dc, left, top, left + width / 2, top + 2 * unit);  // the tab
  Rectangle(dc, left, top + unit, right, bottom);              // the folder's back
  SelectObject(dc, front);
  if (open) {
    // The front flap, tilted towards the viewer.
    const std::array<POINT, 4> flap{{{left + 2 * unit, top + 3 * unit},
                                     {box.right, top + 3 * unit},
                                     {right - unit, bottom - 1},
                                     {left, bottom - 1}}};
    Polygon(dc, flap.data(), static_cast<int>(flap.size()));
  } else {
    Rectangle(dc, left, top + 2 * unit, right, bottom);
  }
  SelectObject(dc, old_brush);
  SelectObject(dc, old_pen);
  DeleteObject(front);
  DeleteObject(back);
  DeleteObject(outline);
}

}  // namespace

void FolderListBox::draw(const DRAWITEMSTRUCT& item) const {
  if (item.itemID == static_cast<UINT>(-1)) return;
  const std::size_t index = item.itemID;
  if (index >= rows_.size()) return;
  const Row& row = rows_[index];
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  HDC dc = item.hDC;
  RECT area = item.rcItem;
  FillRect(dc, &area, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));

  const int height = area.bottom - area.top;
  RECT glyph{area.left + 2 + row.level * (height / 2), area.top, 0, area.bottom};
  glyph.right = glyph.left + height;
  draw_glyph(dc, glyph, row.open);

  const LRESULT length = SendMessageW(hwnd_, LB_GETTEXTLEN, index, 0);
  std::wstring name(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
  SendMessageW(hwnd_, LB_GETTEXT, index, reinterpret_cast<LPARAM>(name.data()));
  name.resize(static_cast<std::size_t>(length > 0 ? length : 0));
  RECT text{glyph.right + 3, area.top, area.right, area.bottom};
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  DrawTextW(dc, name.c_str(), static_cast<int>(name.size()), &text,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  if ((item.itemState & ODS_FOCUS) != 0) DrawFocusRect(dc, &area);
}

}  // namespace qv::win32
