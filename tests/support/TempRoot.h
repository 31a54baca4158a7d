#pragma once

#include <string>

namespace vozi::test {

// A fresh temporary folder that becomes the host root (VOZI_ROOT) for the
// life of the object; the folder and everything in it is removed afterwards
// and the previous root is restored. A root made with kept() is a folder
// given by the caller (made when missing) and stays when the object goes:
// the demo tree is laid out that way.
class TempRoot {
 public:
  TempRoot();
  static TempRoot kept(const std::string& folder);
  ~TempRoot();
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;
  TempRoot(TempRoot&& other) noexcept;

  const std::string& path() const { return path_; }
  // The host path of a tree path: path() + treePath.
  std::string operator/(const std::string& treePath) const;

  // Creates the folders of a tree path (mode 0755) and returns its host path.
  std::string makeDirectory(const std::string& treePath) const;
  // Writes a file (creating its folders) and returns its host path.
  std::string writeFile(const std::string& treePath, const std::string& contents) const;

 private:
  struct Keep {};
  TempRoot(const std::string& folder, Keep);

  std::string path_;
  std::string previousRoot_;
  bool hadPreviousRoot_ = false;
  bool kept_ = false;
};

}  // namespace vozi::test
