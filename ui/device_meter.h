// CDeviceMeter: the bar of the device usage strip. It draws how much of the drive is used (solid
// blue) and, after it, how much a pending synchronization would add or free (hatched: blue, or red
// when the drive would overflow), with the selected size as a label placed where it fits.
#pragma once

#include "platform/afx/afxwin.h"
#include "platform/afx/gdi.h"

class CDeviceMeter : public CDialog {
 public:
  explicit CDeviceMeter(CWnd* parent = nullptr);
  ~CDeviceMeter() override;

  // Store the count; when it changed and the window exists, invalidate it (with erase).
  void setSelected(LONGLONG bytes);
  void setUsed(LONGLONG bytes);
  void setCapacity(LONGLONG bytes) { m_capacity = bytes; }
  // used + selected > capacity.
  bool isOverCapacity() const { return m_used + m_selected > m_capacity; }

  LONGLONG getCapacity() const { return m_capacity; }
  LONGLONG getSelected() const { return m_selected; }
  LONGLONG getUsed() const { return m_used; }

  // The x of a byte count on a bar `width` pixels wide ending at `right`: width * bytes /
  // capacity, truncated; 0 for a capacity of 0 or a negative result; at most `right`.
  int toX(LONGLONG bytes, int width, int right) const;

  // The solid and hatched blue brushes, for the legend's colour boxes.
  CBrush& usedBrush() { return m_solidBlueBrush; }
  CBrush& selectedBrush() { return m_blueHatchBrush; }

 protected:
  afx_msg void OnPaint();
  DECLARE_MESSAGE_MAP()

 private:
  void changed(LONGLONG& field, LONGLONG bytes);

  CPen m_bluePen;
  CBrush m_blueHatchBrush;
  CPen m_redPen;
  CBrush m_redHatchBrush;
  CPen m_thickBluePen;
  CBrush m_solidBlueBrush;
  CBrush m_whiteBrush;
  CPen m_whitePen;
  LONGLONG m_capacity = 0;
  LONGLONG m_selected = 0;
  LONGLONG m_used = 0;
  CWnd* m_parent;
};
