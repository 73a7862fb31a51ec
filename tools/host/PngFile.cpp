#include "PngFile.h"

#include "ComPtr.h"

#include <wincodec.h>

HRESULT WritePng(const std::wstring& path, int width, int height,
                 const std::vector<uint32_t>& pixels) {
  if (width <= 0 || height <= 0 || pixels.size() != size_t(width) * size_t(height))
    return E_INVALIDARG;
  // 24-bit rows, blue first, each padded to four bytes.
  const UINT stride = (UINT(width) * 3 + 3) & ~3u;
  std::vector<BYTE> rows(size_t(stride) * size_t(height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t rgb = pixels[size_t(y) * size_t(width) + size_t(x)];
      BYTE* at = &rows[size_t(y) * stride + size_t(x) * 3];
      at[0] = BYTE(rgb);
      at[1] = BYTE(rgb >> 8);
      at[2] = BYTE(rgb >> 16);
    }

  ComPtr<IWICImagingFactory> factory;
  HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, factory.put_void());
  if (FAILED(hr)) return hr;
  ComPtr<IWICStream> stream;
  if (FAILED(hr = factory->CreateStream(stream.put()))) return hr;
  if (FAILED(hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE))) return hr;
  ComPtr<IWICBitmapEncoder> encoder;
  if (FAILED(hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put())))
    return hr;
  if (FAILED(hr = encoder->Initialize(stream.get(), WICBitmapEncoderNoCache))) return hr;
  ComPtr<IWICBitmapFrameEncode> frame;
  if (FAILED(hr = encoder->CreateNewFrame(frame.put(), nullptr))) return hr;
  if (FAILED(hr = frame->Initialize(nullptr))) return hr;
  if (FAILED(hr = frame->SetSize(UINT(width), UINT(height)))) return hr;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (FAILED(hr = frame->SetPixelFormat(&format))) return hr;
  if (!IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) return WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
  if (FAILED(hr = frame->WritePixels(UINT(height), stride, UINT(rows.size()), rows.data())))
    return hr;
  if (FAILED(hr = frame->Commit())) return hr;
  return encoder->Commit();
}
