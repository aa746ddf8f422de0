// A dialog box template built in memory for DialogBoxIndirectParamW: the
// box, its font and its controls. Places are in dialog units; a box that
// lays itself out in pixels when it starts may leave them at zero.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tarvelin {

// The predefined control classes a template names by their atoms.
enum class ControlClass : WORD { kButton = 0x0080, kEdit = 0x0081, kStatic = 0x0082 };

class DialogTemplate {
 public:
  // A box of `style` (DS_SETFONT is added) showing its texts in `face` at
  // `point_size` points.
  DialogTemplate(DWORD style, DWORD extended_style, const std::wstring& title, WORD point_size,
                 const std::wstring& face);

  void AddControl(ControlClass control_class, WORD id, DWORD style, const std::wstring& text);

  // The template, DWORD-aligned as DialogBoxIndirectParamW wants it; valid
  // while this object lives unchanged.
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Word(WORD word) { words_.push_back(word); }
  void Dword(DWORD dword);
  void Text(const std::wstring& text);
  void AlignToDword();

  // WORD units; vector storage is aligned for any scalar type.
  std::vector<WORD> words_;
  std::size_t count_index_;  // where the number of controls stands
};

}  // namespace tarvelin
