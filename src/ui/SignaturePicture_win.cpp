#include "ui/SignaturePicture_win.h"

#include <objbase.h>
#include <wincodec.h>

namespace uptorra {

namespace {

template <typename T>
struct ComPtr {
  T* p = nullptr;
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() {
    if (p) p->Release();
  }
  T** put() { return &p; }
  T* operator->() const { return p; }
  explicit operator bool() const { return p != nullptr; }
};

}  // namespace

PixelImage DecodePngResource(HINSTANCE instance, int resourceId) {
  PixelImage image;
  HRSRC found = ::FindResourceW(instance, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!found) return image;
  HGLOBAL loaded = ::LoadResource(instance, found);
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  const DWORD size = ::SizeofResource(instance, found);
  if (!bytes || size == 0) return image;

  ComPtr<IWICImagingFactory> factory;
  if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.put())))) {
    return image;
  }
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  ComPtr<IWICFormatConverter> converter;
  if (FAILED(factory->CreateStream(stream.put())) ||
      FAILED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(bytes)), size)) ||
      FAILED(factory->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand, decoder.put())) ||
      FAILED(decoder->GetFrame(0, frame.put())) || FAILED(factory->CreateFormatConverter(converter.put())) ||
      FAILED(converter->Initialize(frame.p, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom))) {
    return image;
  }
  UINT width = 0, height = 0;
  if (FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0) return image;
  std::vector<std::uint32_t> pixels(std::size_t(width) * height);
  if (FAILED(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(pixels.size() * 4),
                                   reinterpret_cast<BYTE*>(pixels.data())))) {
    return image;
  }
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.pixels = std::move(pixels);
  return image;
}

UniqueBitmap RenderPicture(const PixelImage& picture, int width, int height, COLORREF background) {
  PixelImage scaled = StretchAreaAverage(picture, width, height);
  if (scaled.pixels.empty()) {
    // No picture: the box shows its background.
    scaled.width = width;
    scaled.height = height;
    scaled.pixels.assign(std::size_t(std::max(width, 0)) * std::max(height, 0), 0);
  }
  const std::uint32_t rgb = (std::uint32_t(GetRValue(background)) << 16) | (std::uint32_t(GetGValue(background)) << 8) |
                            GetBValue(background);
  CompositeOver(scaled, rgb);

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down, as the pixels are
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  UniqueBitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (bitmap && bits) memcpy(bits, scaled.pixels.data(), scaled.pixels.size() * 4);
  return bitmap;
}

}  // namespace uptorra
