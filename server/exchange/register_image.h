// The register image of a group (mapCell): one two-byte cell per register
// that byte and bit tags share, so that writing one byte or bit sends the
// rest of the register as last read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace virk {

class CDATag;

class CRegisterImage {
 public:
  CRegisterImage() = default;
  ~CRegisterImage() { Release(); }
  CRegisterImage(const CRegisterImage&) = delete;
  CRegisterImage& operator=(const CRegisterImage&) = delete;

  // Gives every byte and bit tag a cell, one per register. Cells are keyed
  // by the register the value sits in, so tags at different offsets of one
  // segment never share a cell.
  void Build(const std::vector<CDATag*>& tags);
  // Clears the tags' references and frees the cells.
  void Release();
  size_t CellCount() const { return m_Cells.size(); }

 private:
  // std::map keeps its values in place, so the cell pointers stay valid.
  std::map<uint16_t, std::array<uint8_t, 2>> m_Cells;
  std::vector<CDATag*> m_Users;
};

}  // namespace virk
