#include "fdi/decoder_choice.h"

#include "fdi/fdi_context.h"

namespace fdi {

void UseFastMszip(HFDI hfdi, bool fast) {
  if (hfdi != nullptr) static_cast<Context*>(hfdi)->fast_mszip = fast;
}

void UseFastLzx(HFDI hfdi, bool fast) {
  if (hfdi != nullptr) static_cast<Context*>(hfdi)->fast_lzx = fast;
}

}  // namespace fdi
