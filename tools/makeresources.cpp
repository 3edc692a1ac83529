// Writes the program's resources: the seven 3DF textures, the bitmap font, the
// two preview images and the control panel's three pictures (PNG), as a C++
// source the program is built with (and, when asked, as separate files). The
// output depends only on the inputs.
//
// Usage: makeresources --font-text FILE --typefaces DIR --out-cpp FILE [--out-dir DIR]
//                      [--arrays 1] [--out-ico FILE]
//
// --out-ico writes the window icon as a Windows icon file (the program's icon
// in a Windows build).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "formats.h"
#include "pictures.h"

namespace {

bool readFile(const std::string &path, std::string &text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  text = s.str();
  return true;
}

// Writes only when the content differs, so an unchanged output does not
// make the program rebuild.
bool writeIfChanged(const std::string &path, const std::string &content) {
  std::string old;
  if (readFile(path, old) && old == content) return true;
  std::ofstream out(path, std::ios::binary);
  out << content;
  return static_cast<bool>(out);
}

} // namespace

int main(int argc, char **argv) {
  std::string fontText, typefaceDir, outCpp, outDir, outIco;
  bool arrays = false;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--font-text"))
      fontText = argv[i + 1];
    else if (!std::strcmp(argv[i], "--typefaces"))
      typefaceDir = argv[i + 1];
    else if (!std::strcmp(argv[i], "--out-cpp"))
      outCpp = argv[i + 1];
    else if (!std::strcmp(argv[i], "--out-dir"))
      outDir = argv[i + 1];
    else if (!std::strcmp(argv[i], "--arrays"))
      arrays = std::strcmp(argv[i + 1], "0") != 0;
    else if (!std::strcmp(argv[i], "--out-ico"))
      outIco = argv[i + 1];
    else {
      std::fprintf(stderr, "makeresources: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  if (fontText.empty() || typefaceDir.empty() || outCpp.empty()) {
    std::fprintf(stderr, "usage: makeresources --font-text FILE --typefaces DIR --out-cpp FILE "
                         "[--out-dir DIR] [--arrays 1] [--out-ico FILE]\n");
    return 2;
  }
  std::string error, text;
  if (!readFile(fontText, text)) {
    std::fprintf(stderr, "makeresources: cannot read %s\n", fontText.c_str());
    return 1;
  }
  Bytes font;
  if (!fontFromText(text, font, error)) {
    std::fprintf(stderr, "makeresources: %s: %s\n", fontText.c_str(), error.c_str());
    return 1;
  }
  Typefaces faces;
  if (!faces.open(typefaceDir, error)) {
    std::fprintf(stderr, "makeresources: %s\n", error.c_str());
    return 1;
  }
  std::vector<ResourceOut> out;
  out.push_back({101, make3dfRgb565(starGlowWithRays())});
  out.push_back({102, make3dfRgb565(ringedRedGlow())});
  out.push_back({103, make3dfRgb565(starburst())});
  out.push_back({104, make3dfRgb565(firstTitleCard(faces))});
  out.push_back({105, make3dfI8(creditBanner(faces))});
  out.push_back({108, font});
  out.push_back({109, make3dfRgb565(softStarGlow())});
  out.push_back({110, make3dfRgb565(secondTitle(faces))});
  out.push_back({111, makeRawRgbBottomUp(firstPreview(faces))});
  out.push_back({112, makeRawRgbBottomUp(secondPreview(faces))});
  out.push_back({120, makePng(aboutPicture(faces))});
  Plane monitorAlpha, iconAlpha;
  const Picture monitor = monitorPicture(monitorAlpha);
  out.push_back({121, makePng(monitor, &monitorAlpha)});
  const Picture icon = panelIcon(iconAlpha);
  out.push_back({122, makePng(icon, &iconAlpha)});

  if (!outDir.empty()) {
    for (const ResourceOut &r : out) {
      const std::string path = outDir + "/" + std::to_string(r.id) + ".bin";
      if (!writeIfChanged(path, std::string(r.bytes.begin(), r.bytes.end()))) {
        std::fprintf(stderr, "makeresources: cannot write %s\n", path.c_str());
        return 1;
      }
    }
  }
  if (!outIco.empty()) {
    const Bytes ico = makeIco(out.back().bytes, icon.width(), icon.height());
    if (!writeIfChanged(outIco, std::string(ico.begin(), ico.end()))) {
      std::fprintf(stderr, "makeresources: cannot write %s\n", outIco.c_str());
      return 1;
    }
  }
  if (!writeIfChanged(outCpp, embeddedSource(out, arrays))) {
    std::fprintf(stderr, "makeresources: cannot write %s\n", outCpp.c_str());
    return 1;
  }
  return 0;
}
