// The marquee progress bar and the password edit of the Win32 native layer.
#pragma once

#include "Win32Form.h"

namespace velmora {

// A progress bar in marquee style, 4 pixels high across the bottom of a main form, animating
// while visible. Visible from creation.
class TWin32ProgressBar final : public TNativeProgressBar {
public:
  explicit TWin32ProgressBar(TWin32Form& Parent);
  ~TWin32ProgressBar() override;
  TWin32ProgressBar(const TWin32ProgressBar&) = delete;
  TWin32ProgressBar& operator=(const TWin32ProgressBar&) = delete;

  void SetVisible(bool Visible) override;
  bool Visible() const override;

private:
  TWin32Form& FParent;
  HWND FBar;
};

// An edit at a fixed place in a dialog form that shows every character as "*", with a
// decorative button carrying the key image on its left. Every key release raises OnKeyUp.
class TWin32PasswordEdit final : public TNativePasswordEdit {
public:
  TWin32PasswordEdit(TWin32Form& Parent, int Left, int Top, int Width, int Height);
  ~TWin32PasswordEdit() override;
  TWin32PasswordEdit(const TWin32PasswordEdit&) = delete;
  TWin32PasswordEdit& operator=(const TWin32PasswordEdit&) = delete;

  std::string Text() const override;
  void SetText(const std::string& Text) override;
  void SetFocus() override;

private:
  static LRESULT CALLBACK EditProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam, UINT_PTR Id,
                                   DWORD_PTR Data);
  static LRESULT CALLBACK ButtonProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam, UINT_PTR Id,
                                     DWORD_PTR Data);

  HWND FEdit;
  HWND FButton;
  HICON FKeyIcon = nullptr;
};

// A child window at a fixed place in a form that draws the busy indicator's frames over the form's
// colour, with the application-starting cursor.
class TWin32ActivityIndicator final : public TNativeActivityIndicator {
public:
  TWin32ActivityIndicator(TWin32Form& Parent, int Left, int Top, int Size, TActivityIndicatorKind Kind,
                          TActivityIndicatorColor Color);
  ~TWin32ActivityIndicator() override;
  TWin32ActivityIndicator(const TWin32ActivityIndicator&) = delete;
  TWin32ActivityIndicator& operator=(const TWin32ActivityIndicator&) = delete;

  TActivityIndicatorKind Kind() const override { return FKind; }
  TActivityIndicatorColor Color() const override { return FColor; }

private:
  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
  void Paint(HDC Dc);

  TWin32Form& FParent;
  HWND FWindow = nullptr;
  TActivityIndicatorKind FKind;
  TActivityIndicatorColor FColor;
  int FSize;
  ULONGLONG FStart;
};

} // namespace velmora
