#include "hosts/win32/picture.h"

#include <objbase.h>
#include <wincodec.h>

#include <cstring>
#include <string>

#include "platform/resources.h"

namespace {

template <class T> void release(T *&p) {
  if (p) p->Release();
  p = nullptr;
}

} // namespace

HBITMAP loadPicture(int id, int &width, int &height) {
  width = height = 0;
  const std::string name = "#" + std::to_string(id);
  const ResourceBytes bytes = findResource(name.c_str(), "TEXTUREDATA");
  if (!bytes.data || bytes.size == 0 || bytes.size > 0xFFFFFFFFu) return nullptr;

  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IWICImagingFactory *factory = nullptr;
  IWICStream *stream = nullptr;
  IWICBitmapDecoder *decoder = nullptr;
  IWICBitmapFrameDecode *frame = nullptr;
  IWICFormatConverter *converter = nullptr;
  HBITMAP bitmap = nullptr;
  UINT w = 0, h = 0;
  void *bits = nullptr;
  if (SUCCEEDED(
          CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory))) &&
      SUCCEEDED(factory->CreateStream(&stream)) &&
      SUCCEEDED(
          stream->InitializeFromMemory(const_cast<BYTE *>(bytes.data), static_cast<DWORD>(bytes.size))) &&
      SUCCEEDED(
          factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) &&
      SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
      SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                      0.0, WICBitmapPaletteTypeCustom)) &&
      SUCCEEDED(converter->GetSize(&w, &h)) && w > 0 && h > 0 && w <= 4096 && h <= 4096) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(w);
    info.bmiHeader.biHeight = -static_cast<LONG>(h);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && FAILED(converter->CopyPixels(nullptr, w * 4, w * h * 4, static_cast<BYTE *>(bits)))) {
      DeleteObject(bitmap);
      bitmap = nullptr;
    }
  }
  release(converter);
  release(frame);
  release(decoder);
  release(stream);
  release(factory);
  if (SUCCEEDED(com)) CoUninitialize();
  if (bitmap) {
    width = static_cast<int>(w);
    height = static_cast<int>(h);
  }
  return bitmap;
}
