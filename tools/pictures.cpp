#include "pictures.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

constexpr float Pi = 3.14159265358979f;
constexpr int TextureSize = 256;

// Fades everything to nothing toward radius 127 so the square's edge stays black.
float edgeWindow(float r) {
  constexpr float R = 127.0f;
  if (r >= R) return 0.0f;
  const float q = 1.0f - (r / R) * (r / R);
  return q * q;
}

// A thin ray from the centre along angle a: bright near the axis, fading with distance.
float ray(float dx, float dy, float angle, float width, float growth, float length) {
  const float c = std::cos(angle), s = std::sin(angle);
  const float along = dx * c + dy * s;
  if (along <= 0.0f) return 0.0f;
  const float across = -dx * s + dy * c;
  const float w = width + along * growth;
  return std::exp(-(across * across) / (w * w)) * std::exp(-along / length) * (width / w);
}

// Paints a centred 256 x 256 glow, 4 samples a texel; f gives the light at an
// offset from the centre.
Picture radialPicture(const std::function<Colour(float, float)> &f) {
  Picture p(TextureSize, TextureSize);
  const float centre = TextureSize * 0.5f;
  for (int y = 0; y < TextureSize; ++y) {
    for (int x = 0; x < TextureSize; ++x) {
      Colour sum{0, 0, 0};
      for (int sy = 0; sy < 2; ++sy) {
        for (int sx = 0; sx < 2; ++sx) {
          const float dx = x + 0.25f + 0.5f * sx - centre;
          const float dy = y + 0.25f + 0.5f * sy - centre;
          const float w = edgeWindow(std::sqrt(dx * dx + dy * dy));
          if (w <= 0.0f) continue;
          const Colour c = f(dx, dy);
          sum.r += c.r * w;
          sum.g += c.g * w;
          sum.b += c.b * w;
        }
      }
      p.r.at(x, y) = softClip(sum.r * 0.25f);
      p.g.at(x, y) = softClip(sum.g * 0.25f);
      p.b.at(x, y) = softClip(sum.b * 0.25f);
    }
  }
  return p;
}

Colour grey(float v) { return {v, v, v}; }

// Fades a plane to zero over `margin` pixels at every edge.
void fadeEdges(Plane &p, float margin) {
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const float d = std::min({x + 0.5f, p.width - x - 0.5f, y + 0.5f, p.height - y - 0.5f});
      if (d < margin) {
        const float t = d / margin;
        p.at(x, y) *= t * t * (3 - 2 * t);
      }
    }
  }
}

void fadeEdges(Picture &p, float margin) {
  fadeEdges(p.r, margin);
  fadeEdges(p.g, margin);
  fadeEdges(p.b, margin);
}

void finish(Picture &p) {
  for (Plane *pl : {&p.r, &p.g, &p.b}) {
    for (float &v : pl->v) v = softClip(v);
  }
}

// The em size at which a line is `width` pixels wide.
float fitEm(const TextFace &face, const std::string &text, float width, float trackingPerEm) {
  const float base = 100.0f;
  const float w = face.advance(text, base, trackingPerEm * base);
  return base * width / w;
}

// A glowing name: letters, a tight glow and a wide haze.
void glowingText(Picture &p, const Plane &letters, Colour core, Colour inner, Colour outer, float scale) {
  p.add(letters, core, 1.0f);
  p.add(blur(letters, 2.0f * scale), inner, 1.3f);
  p.add(blur(letters, 7.0f * scale), inner, 0.9f);
  p.add(blur(letters, 18.0f * scale), outer, 1.3f);
  p.add(blur(letters, 40.0f * scale), outer, 0.7f);
}

// A thin horizontal streak of light through (cx, cy), fading to the sides.
Plane streak(int w, int h, float cx, float cy, float length, float thickness) {
  Plane p(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const float dx = (x + 0.5f - cx) / length, dy = (y + 0.5f - cy) / thickness;
      p.at(x, y) = std::exp(-dx * dx - dy * dy);
    }
  }
  return p;
}

// A starry sky with a coloured nebula for the preview images.
void skyBackground(Picture &p, Colour near, Colour far, int seed) {
  for (int y = 0; y < p.height(); ++y) {
    for (int x = 0; x < p.width(); ++x) {
      const float n = fractalNoise(x / 70.0f, y / 70.0f, 5, seed);
      const float m = fractalNoise(x / 35.0f + 7.0f, y / 35.0f, 4, seed + 7);
      const float cloud = std::pow(std::clamp((n - 0.33f) * 1.9f, 0.0f, 1.0f), 1.5f) * 0.42f;
      const float tint = std::clamp(m * 1.4f - 0.2f, 0.0f, 1.0f);
      p.r.at(x, y) += cloud * (near.r * tint + far.r * (1 - tint));
      p.g.at(x, y) += cloud * (near.g * tint + far.g * (1 - tint));
      p.b.at(x, y) += cloud * (near.b * tint + far.b * (1 - tint));
    }
  }
  Plane stars(p.width(), p.height());
  const int count = p.width() * p.height() / 700;
  for (int i = 0; i < count; ++i) {
    const float sx = hash01(i, 1, seed) * p.width(), sy = hash01(i, 2, seed) * p.height();
    const float bright = 0.15f + 0.85f * std::pow(hash01(i, 3, seed), 4.0f);
    const int x0 = static_cast<int>(sx), y0 = static_cast<int>(sy);
    for (int y = std::max(0, y0 - 3); y <= std::min(p.height() - 1, y0 + 3); ++y) {
      for (int x = std::max(0, x0 - 3); x <= std::min(p.width() - 1, x0 + 3); ++x) {
        const float dx = x + 0.5f - sx, dy = y + 0.5f - sy;
        stars.at(x, y) += bright * std::exp(-(dx * dx + dy * dy) / 1.2f);
      }
    }
  }
  p.add(stars, {0.9f, 0.95f, 1.0f});
}

// A creature gliding from (x0, y0) to (x1, y1) along a bowed path, leaving
// puffs that grow dimmer toward the tail; its head is a bright glow.
void creatureTrail(Picture &p, float x0, float y0, float x1, float y1, float bow, Colour c) {
  const int w = p.width(), h = p.height();
  Plane trail(w, h), head(w, h);
  const int puffs = 70;
  for (int i = 0; i < puffs; ++i) {
    const float u = i / (puffs - 1.0f);
    const float x = x0 + (x1 - x0) * u, y = y0 + (y1 - y0) * u - bow * std::sin(u * Pi);
    const float size = 0.8f + 2.2f * u;
    const float amount = 0.12f * u * u * (0.6f + 0.4f * hash01(i, 5, static_cast<int>(x0)));
    for (int yy = static_cast<int>(y - 10); yy <= static_cast<int>(y + 10); ++yy) {
      for (int xx = static_cast<int>(x - 10); xx <= static_cast<int>(x + 10); ++xx) {
        if (xx < 0 || yy < 0 || xx >= w || yy >= h) continue;
        const float dx = xx + 0.5f - x, dy = yy + 0.5f - y;
        trail.at(xx, yy) += amount * std::exp(-(dx * dx + dy * dy) / (size * size));
      }
    }
  }
  for (int yy = 0; yy < h; ++yy) {
    for (int xx = 0; xx < w; ++xx) {
      const float dx = xx + 0.5f - x1, dy = yy + 0.5f - y1;
      head.at(xx, yy) = std::exp(-(dx * dx + dy * dy) / 6.0f);
    }
  }
  p.add(trail, c, 1.0f);
  p.add(blur(trail, 4.0f), c, 1.2f);
  p.add(head, {1.0f, 1.0f, 1.0f}, 1.0f);
  p.add(blur(head, 5.0f), c, 6.0f);
}

} // namespace

bool Typefaces::open(const std::string &dir, std::string &error) {
  // Each face with the Debian package that installs it.
  const struct {
    TextFace &face;
    const char *file;
    const char *package;
  } faces[] = {{serif, "DejaVuSerif.ttf", "fonts-dejavu-core"},
               {bold, "DejaVuSans-Bold.ttf", "fonts-dejavu-core"},
               {plain, "DejaVuSans.ttf", "fonts-dejavu-core"},
               {condensed, "DejaVuSansCondensed.ttf", "fonts-dejavu-extra"}};
  for (const auto &f : faces) {
    if (!f.face.open(dir + "/" + f.file, error)) {
      error += std::string(" (install ") + f.package + ")";
      return false;
    }
  }
  return true;
}

Picture starGlowWithRays() {
  return radialPicture([](float dx, float dy) {
    const float r = std::sqrt(dx * dx + dy * dy);
    float v = 1.6f * std::exp(-(r * r) / 6.0f) + 0.55f * std::exp(-r / 9.0f) +
              0.10f * std::exp(-(r * r) / (48.0f * 48.0f));
    for (int i = 0; i < 4; ++i) {
      v += 0.85f * ray(dx, dy, i * Pi / 2, 0.75f, 0.004f, 40.0f);
      v += 0.30f * ray(dx, dy, Pi / 4 + i * Pi / 2, 0.6f, 0.004f, 22.0f);
    }
    return grey(v);
  });
}

Picture ringedRedGlow() {
  struct Ring {
    float radius, width, amount;
    Colour colour;
  };
  static const Ring rings[] = {
      {30.0f, 3.5f, 0.55f, {1.0f, 0.42f, 0.18f}},   {52.0f, 4.0f, 0.45f, {1.0f, 0.75f, 0.25f}},
      {73.0f, 4.5f, 0.50f, {0.40f, 0.90f, 0.45f}},  {92.0f, 5.0f, 0.80f, {0.30f, 0.55f, 1.00f}},
      {108.0f, 4.5f, 1.20f, {0.75f, 0.35f, 1.00f}},
  };
  return radialPicture([](float dx, float dy) {
    const float r = std::sqrt(dx * dx + dy * dy);
    const float hot = 1.3f * std::exp(-(r * r) / 10.0f);
    const float body = 0.85f * std::exp(-r / 11.0f);
    const float haze = 0.22f * std::exp(-(r * r) / (45.0f * 45.0f));
    Colour c{hot + body + haze, 0.85f * hot + 0.42f * body + 0.25f * haze,
             0.7f * hot + 0.25f * body + 0.18f * haze};
    for (const Ring &ring : rings) {
      const float d = (r - ring.radius) / ring.width;
      const float v = ring.amount * std::exp(-d * d);
      c.r += v * ring.colour.r;
      c.g += v * ring.colour.g;
      c.b += v * ring.colour.b;
    }
    return c;
  });
}

Picture starburst() {
  struct Ray {
    float angle, width, length, amount;
  };
  std::vector<Ray> rays;
  const int count = 56;
  for (int i = 0; i < count; ++i) {
    const float jitter = (hash01(i, 0, 103) - 0.5f) * 0.7f;
    const float a = (i + 0.5f + jitter) * 2.0f * Pi / count;
    const float h = hash01(i, 1, 103);
    rays.push_back(
        {a, 0.45f + 0.6f * hash01(i, 2, 103), 14.0f + 34.0f * h * h, 0.35f + 0.65f * hash01(i, 3, 103)});
  }
  for (int i = 0; i < 8; ++i) {
    rays.push_back({i * Pi / 4 + 0.2f, 0.9f, i % 2 ? 30.0f : 46.0f, 1.0f});
  }
  return radialPicture([rays](float dx, float dy) {
    const float r = std::sqrt(dx * dx + dy * dy);
    float v = 1.8f * std::exp(-(r * r) / 14.0f) + 0.45f * std::exp(-r / 12.0f);
    for (const Ray &ray_ : rays) v += ray_.amount * ray(dx, dy, ray_.angle, ray_.width, 0.006f, ray_.length);
    return grey(v);
  });
}

Picture softStarGlow() {
  return radialPicture([](float dx, float dy) {
    const float r = std::sqrt(dx * dx + dy * dy);
    float v = 2.2f * std::exp(-(r * r) / 3.0f) + 0.45f * std::exp(-r / 6.0f) +
              0.30f * std::exp(-(r * r) / (26.0f * 26.0f));
    for (int i = 0; i < 4; ++i) v += 0.22f * ray(dx, dy, i * Pi / 2, 0.8f, 0.003f, 32.0f);
    return Colour{v * 0.97f, v * 0.98f, v};
  });
}

Picture firstTitleCard(const Typefaces &t) {
  // Shown as a card 0.35 times as high as wide: painted at that shape, twice
  // the final width, then squeezed into the top 180 rows.
  const int w = 512, h = 179;
  Picture card(w, h);
  Plane name(w, h), version(w, h), credits(w, h);
  const float track = 0.04f;
  const float em = fitEm(t.serif, "Lumenveil", 400.0f, track);
  t.serif.drawCentred(name, "Lumenveil", w * 0.5f, 88.0f, em, track * em);
  t.plain.drawCentred(version, "Version 1.1", w * 0.5f, 122.0f, 21.0f, 2.0f);
  t.condensed.drawCentred(credits, "Program and pictures by Qbn", w * 0.5f, 149.0f, 17.5f, 1.0f);
  t.condensed.drawCentred(credits, "with the star field Astrel-1", w * 0.5f, 170.0f, 17.5f, 1.0f);
  glowingText(card, name, {1.0f, 0.97f, 0.9f}, {1.0f, 0.6f, 0.95f}, {0.35f, 0.35f, 1.0f}, 1.0f);
  const Plane light = streak(w, h, w * 0.5f, 88.0f - em * 0.36f, 170.0f, 1.2f);
  card.add(light, {0.8f, 0.85f, 1.0f}, 0.55f);
  card.add(blur(light, 4.0f), {0.4f, 0.45f, 1.0f}, 0.5f);
  card.add(version, {0.75f, 0.9f, 1.0f});
  card.add(blur(version, 3.0f), {0.3f, 0.5f, 1.0f}, 0.8f);
  card.add(credits, {0.65f, 0.7f, 0.85f});
  card.add(blur(credits, 3.0f), {0.25f, 0.3f, 0.7f}, 0.5f);
  fadeEdges(card, 10.0f);
  finish(card);
  const Picture small = resample(card, TextureSize, 180);
  Picture out(TextureSize, TextureSize);
  for (int y = 0; y < 180; ++y) {
    for (int x = 0; x < TextureSize; ++x) {
      out.r.at(x, y) = small.r.at(x, y);
      out.g.at(x, y) = small.g.at(x, y);
      out.b.at(x, y) = small.b.at(x, y);
    }
  }
  return out;
}

Plane creditBanner(const Typefaces &t) {
  // Shown a quarter as high as wide: painted at that shape, then stretched to 2:1.
  const int w = 512, h = 128;
  Plane text(w, h);
  const float em1 = fitEm(t.plain, "A screen saver by Qbn", 380.0f, 0.02f);
  t.plain.drawCentred(text, "A screen saver by Qbn", w * 0.5f, 62.0f, em1, 0.02f * em1);
  t.condensed.drawCentred(text, "Lumenveil & Astrel-1  \xB7  Version 1.1", w * 0.5f, 100.0f, 22.0f, 1.0f);
  Plane glow = blur(text, 3.0f);
  Plane out(w, h);
  for (size_t i = 0; i < out.v.size(); ++i) out.v[i] = softClip(text.v[i] + 0.45f * glow.v[i]);
  fadeEdges(out, 6.0f);
  return resample(out, TextureSize, 128);
}

Picture secondTitle(const Typefaces &t) {
  // Shown 0.415 times as high as wide: painted at that shape, then stretched to square.
  const int w = 512, h = 212;
  Picture title(w, h);
  Plane fill(w, h), line(w, h);
  const float track = 0.05f;
  const float em = fitEm(t.bold, "Astrel-1", 420.0f, track);
  const float baseline = h * 0.5f + em * 0.36f;
  t.bold.drawCentred(fill, "Astrel-1", w * 0.5f, baseline, em, track * em);
  t.bold.drawCentred(line, "Astrel-1", w * 0.5f, baseline, em, track * em, 2.4f);
  title.add(fill, {0.25f, 0.45f, 1.0f}, 0.22f);
  title.add(line, {0.85f, 0.95f, 1.0f}, 1.0f);
  title.add(blur(line, 3.0f), {0.3f, 0.7f, 1.0f}, 1.1f);
  title.add(blur(line, 10.0f), {0.35f, 0.35f, 1.0f}, 1.0f);
  title.add(blur(fill, 28.0f), {0.3f, 0.2f, 0.9f}, 0.5f);
  fadeEdges(title, 12.0f);
  finish(title);
  return resample(title, TextureSize, TextureSize);
}

Picture firstPreview(const Typefaces &t) {
  const int w = 304, h = 224;
  Picture p(w, h);
  skyBackground(p, {0.9f, 0.35f, 1.0f}, {0.2f, 0.3f, 1.0f}, 111);
  // Two glowing creatures drifting across the sky, each with its trail of puffs.
  creatureTrail(p, 20.0f, 200.0f, 290.0f, 150.0f, 36.0f, {1.0f, 0.43f, 1.0f});
  creatureTrail(p, 290.0f, 40.0f, 40.0f, 60.0f, -24.0f, {0.35f, 1.0f, 0.35f});
  Plane name(w, h);
  const float em = fitEm(t.serif, "Lumenveil", 250.0f, 0.04f);
  t.serif.drawCentred(name, "Lumenveil", w * 0.5f, 112.0f + em * 0.36f, em, 0.04f * em);
  glowingText(p, name, {1.0f, 0.97f, 0.9f}, {1.0f, 0.65f, 0.95f}, {0.35f, 0.35f, 1.0f}, 0.6f);
  finish(p);
  return resample(p, 152, 112);
}

Picture secondPreview(const Typefaces &t) {
  const int w = 304, h = 224;
  Picture p(w, h);
  skyBackground(p, {1.0f, 0.45f, 0.25f}, {0.6f, 0.2f, 0.9f}, 112);
  // An accretion disk seen at a slant behind the name.
  Plane disk(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const float dx = (x + 0.5f - w * 0.5f) / 120.0f, dy = (y + 0.5f - h * 0.62f) / 26.0f;
      const float r = std::sqrt(dx * dx + dy * dy);
      const float d = (r - 0.75f) / 0.22f;
      disk.at(x, y) = 0.35f * std::exp(-d * d) + 0.5f * std::exp(-r * r * 40.0f);
    }
  }
  p.add(disk, {1.0f, 0.6f, 0.25f});
  p.add(blur(disk, 5.0f), {1.0f, 0.35f, 0.15f}, 0.8f);
  Plane fill(w, h), line(w, h);
  const float em = fitEm(t.bold, "Astrel-1", 240.0f, 0.05f);
  const float baseline = h * 0.45f + em * 0.36f;
  t.bold.drawCentred(fill, "Astrel-1", w * 0.5f, baseline, em, 0.05f * em);
  t.bold.drawCentred(line, "Astrel-1", w * 0.5f, baseline, em, 0.05f * em, 1.6f);
  p.add(fill, {0.2f, 0.35f, 0.8f}, 0.35f);
  p.add(line, {0.85f, 0.95f, 1.0f});
  p.add(blur(line, 2.5f), {0.3f, 0.7f, 1.0f}, 1.0f);
  p.add(blur(line, 8.0f), {0.35f, 0.35f, 1.0f}, 0.8f);
  finish(p);
  return resample(p, 152, 112);
}

Picture aboutPicture(const Typefaces &t) {
  // Painted at twice the size, then reduced.
  const int w = 584, h = 424;
  Picture p(w, h);
  skyBackground(p, {0.9f, 0.35f, 1.0f}, {0.2f, 0.3f, 1.0f}, 120);
  creatureTrail(p, 30.0f, 380.0f, 540.0f, 300.0f, 60.0f, {1.0f, 0.43f, 1.0f});
  creatureTrail(p, 560.0f, 70.0f, 90.0f, 110.0f, -40.0f, {0.35f, 1.0f, 0.35f});
  creatureTrail(p, 120.0f, 250.0f, 260.0f, 345.0f, 30.0f, {1.0f, 0.8f, 0.3f});
  Plane name(w, h), second(w, h), small(w, h);
  const float em = fitEm(t.serif, "Lumenveil", 430.0f, 0.04f);
  const float baseline = h * 0.42f + em * 0.36f;
  t.serif.drawCentred(name, "Lumenveil", w * 0.5f, baseline, em, 0.04f * em);
  glowingText(p, name, {1.0f, 0.97f, 0.9f}, {1.0f, 0.65f, 0.95f}, {0.35f, 0.35f, 1.0f}, 0.9f);
  const float em2 = fitEm(t.bold, "& Astrel-1", 210.0f, 0.05f);
  t.bold.drawCentred(second, "& Astrel-1", w * 0.5f, baseline + em2 * 1.25f, em2, 0.05f * em2, 1.6f);
  p.add(second, {0.85f, 0.95f, 1.0f});
  p.add(blur(second, 2.5f), {0.3f, 0.7f, 1.0f}, 1.0f);
  p.add(blur(second, 8.0f), {0.35f, 0.35f, 1.0f}, 0.8f);
  t.condensed.drawCentred(small, "Version 1.1.11", w * 0.5f, h - 22.0f, 24.0f, 1.0f);
  p.add(small, {0.75f, 0.85f, 1.0f});
  p.add(blur(small, 3.0f), {0.3f, 0.4f, 1.0f}, 0.6f);
  finish(p);
  return resample(p, 292, 212);
}

namespace {

// Coverage of a rounded rectangle, sampled 4 x 4 a pixel.
Plane roundedBox(int w, int h, float x0, float y0, float x1, float y1, float radius) {
  Plane p(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      float sum = 0.0f;
      for (int s = 0; s < 16; ++s) {
        const float px = x + (s % 4 + 0.5f) / 4.0f, py = y + (s / 4 + 0.5f) / 4.0f;
        const float dx = std::max({x0 + radius - px, 0.0f, px - (x1 - radius)});
        const float dy = std::max({y0 + radius - py, 0.0f, py - (y1 - radius)});
        if (px >= x0 && px <= x1 && py >= y0 && py <= y1 && dx * dx + dy * dy <= radius * radius) sum += 1.0f;
      }
      p.at(x, y) = sum / 16.0f;
    }
  }
  return p;
}

// Paints colour c over dst where cover says, making those pixels opaque.
void paint(Picture &dst, Plane &alpha, const Plane &cover, Colour c) {
  for (size_t i = 0; i < cover.v.size(); ++i) {
    const float a = cover.v[i];
    dst.r.v[i] = dst.r.v[i] * (1 - a) + c.r * a;
    dst.g.v[i] = dst.g.v[i] * (1 - a) + c.g * a;
    dst.b.v[i] = dst.b.v[i] * (1 - a) + c.b * a;
    alpha.v[i] = alpha.v[i] * (1 - a) + a;
  }
}

} // namespace

Picture monitorPicture(Plane &alpha) {
  const int w = 96, h = 96;
  Picture p(w, h);
  alpha = Plane(w, h);
  // Stand and foot, then the cabinet, its bezel and the screen.
  paint(p, alpha, roundedBox(w, h, 30, 78, 66, 92, 3), {0.55f, 0.55f, 0.58f});
  paint(p, alpha, roundedBox(w, h, 40, 70, 56, 82, 1), {0.62f, 0.62f, 0.65f});
  paint(p, alpha, roundedBox(w, h, 4, 6, 92, 74, 7), {0.78f, 0.78f, 0.80f});
  paint(p, alpha, roundedBox(w, h, 5, 7, 91, 73, 6), {0.86f, 0.86f, 0.88f});
  paint(p, alpha, roundedBox(w, h, 11, 12, 85, 62, 4), {0.35f, 0.35f, 0.38f});
  Picture screen(w, h);
  skyBackground(screen, {0.9f, 0.35f, 1.0f}, {0.2f, 0.3f, 1.0f}, 121);
  creatureTrail(screen, 20.0f, 52.0f, 70.0f, 30.0f, 8.0f, {1.0f, 0.43f, 1.0f});
  finish(screen);
  const Plane glass = roundedBox(w, h, 13, 14, 83, 60, 3);
  for (size_t i = 0; i < glass.v.size(); ++i) {
    const float a = glass.v[i];
    p.r.v[i] = p.r.v[i] * (1 - a) + screen.r.v[i] * a;
    p.g.v[i] = p.g.v[i] * (1 - a) + screen.g.v[i] * a;
    p.b.v[i] = p.b.v[i] * (1 - a) + screen.b.v[i] * a;
  }
  // The power light.
  paint(p, alpha, roundedBox(w, h, 78, 66, 84, 69, 1), {0.3f, 0.85f, 0.35f});
  return p;
}

Picture panelIcon(Plane &alpha) {
  const int w = 64, h = 64;
  Picture p(w, h);
  alpha = Plane(w, h);
  // A glowing creature's head with its trail on a dark round tile.
  paint(p, alpha, roundedBox(w, h, 2, 2, 62, 62, 14), {0.04f, 0.03f, 0.12f});
  Picture glow(w, h);
  creatureTrail(glow, 6.0f, 52.0f, 44.0f, 22.0f, 10.0f, {1.0f, 0.43f, 1.0f});
  finish(glow);
  const Plane tile = roundedBox(w, h, 2, 2, 62, 62, 14);
  for (size_t i = 0; i < tile.v.size(); ++i) {
    p.r.v[i] = std::min(1.0f, p.r.v[i] + glow.r.v[i] * tile.v[i]);
    p.g.v[i] = std::min(1.0f, p.g.v[i] + glow.g.v[i] * tile.v[i]);
    p.b.v[i] = std::min(1.0f, p.b.v[i] + glow.b.v[i] * tile.v[i]);
  }
  return p;
}
