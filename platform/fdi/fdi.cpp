// The four FDI entry points.
#include "fdi/fdi.h"

#include <mspack.h>

#include <new>

#include "fdi/cabinet_copy.h"
#include "fdi/cabinet_directory.h"
#include "fdi/callback_reader.h"
#include "fdi/fdi_context.h"

namespace fdi {

void RecordError(Context& context, FDIERROR error, int decoder_error) {
  if (context.erf == nullptr) return;
  context.erf->erfOper = error;
  context.erf->erfType = decoder_error;
  context.erf->fError = 1;
}

}  // namespace fdi

namespace {

void RecordCreateError(PERF perf, FDIERROR error) {
  if (perf == nullptr) return;
  perf->erfOper = error;
  perf->erfType = 0;
  perf->fError = 1;
}

}  // namespace

extern "C" {

HFDI FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread,
               PFNWRITE pfnwrite, PFNCLOSE pfnclose, PFNSEEK pfnseek, int /*cpuType*/, PERF perf) {
  if (pfnalloc == nullptr || pfnfree == nullptr || pfnopen == nullptr || pfnread == nullptr ||
      pfnwrite == nullptr || pfnclose == nullptr || pfnseek == nullptr) {
    RecordCreateError(perf, FDIERROR_MDI_FAIL);
    return nullptr;
  }
  int selftest = MSPACK_ERR_OK;
  MSPACK_SYS_SELFTEST(selftest);
  if (selftest != MSPACK_ERR_OK) {
    RecordCreateError(perf, FDIERROR_MDI_FAIL);
    return nullptr;
  }
  void* memory = pfnalloc(sizeof(fdi::Context));
  if (memory == nullptr) {
    RecordCreateError(perf, FDIERROR_ALLOC_FAIL);
    return nullptr;
  }
  return new (memory) fdi::Context{
      fdi::Callbacks{pfnalloc, pfnfree, pfnopen, pfnread, pfnwrite, pfnclose, pfnseek}, perf};
}

int FDIIsCabinet(HFDI hfdi, intptr_t hf, PFDICABINETINFO pfdici) {
  if (hfdi == nullptr || pfdici == nullptr) return 0;
  fdi::Context& context = *static_cast<fdi::Context*>(hfdi);
  fdi::CallbackReader reader(context.callbacks, hf);
  fdi::CabinetHeader header;
  FDIERROR error = fdi::ReadCabinetHeader(reader, &header);
  if (error != FDIERROR_NONE) {
    fdi::RecordError(context, error);
    return 0;
  }
  pfdici->cbCabinet = static_cast<long>(header.claimed_size);
  pfdici->cFolders = header.folder_count;
  pfdici->cFiles = header.file_count;
  pfdici->setID = header.set_id;
  pfdici->iCabinet = header.index;
  pfdici->fReserve = (header.flags & fdi::kHeaderHasReserve) != 0;
  pfdici->hasprev = (header.flags & fdi::kHeaderHasPrevious) != 0;
  pfdici->hasnext = (header.flags & fdi::kHeaderHasNext) != 0;
  return 1;
}

int FDICopy(HFDI hfdi, char* pszCabinet, char* pszCabPath, int /*flags*/, PFNFDINOTIFY pfnfdin,
            PFNFDIDECRYPT /*pfnfdid*/, void* pvUser) {
  if (hfdi == nullptr) return 0;
  fdi::Context& context = *static_cast<fdi::Context*>(hfdi);
  if (pfnfdin == nullptr) {
    fdi::RecordError(context, FDIERROR_MDI_FAIL);
    return 0;
  }
  FDIERROR error = FDIERROR_NONE;
  int decoder_error = 0;
  try {
    fdi::CabinetCopy copy(context, pfnfdin, pvUser);
    if (copy.Run(pszCabinet, pszCabPath)) return 1;
    error = copy.error();
    decoder_error = copy.decoder_error();
  } catch (const std::bad_alloc&) {
    error = FDIERROR_ALLOC_FAIL;
  } catch (...) {
    error = FDIERROR_MDI_FAIL;
  }
  fdi::RecordError(context, error, decoder_error);
  return 0;
}

int FDIDestroy(HFDI hfdi) {
  if (hfdi == nullptr) return 0;
  auto* context = static_cast<fdi::Context*>(hfdi);
  PFNFREE release = context->callbacks.free;
  context->~Context();
  release(context);
  return 1;
}

}  // extern "C"
