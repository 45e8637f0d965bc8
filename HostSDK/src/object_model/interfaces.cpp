// Out-of-line destructors of the host's interface classes, so that each has
// one home (its vtable and type information) in the host layer.
#include "imtl.h"
#include "ioapi.h"
#include "iparamb.h"
#include "plugapi.h"
#include "ref.h"
#include "utilapi.h"

Animatable::~Animatable() = default;
RemapDir::~RemapDir() = default;
ParamDimension::~ParamDimension() = default;
PostLoadCallback::~PostLoadCallback() = default;
ILoad::~ILoad() = default;
ISave::~ISave() = default;
ClassDesc::~ClassDesc() = default;
ClassDesc2::~ClassDesc2() = default;
Interface::~Interface() = default;
IObjParam::~IObjParam() = default;
IParamBlock::~IParamBlock() = default;
IUtil::~IUtil() = default;
UtilityObj::~UtilityObj() = default;
ParamDlg::~ParamDlg() = default;

namespace {
ParamDimension g_defaultDim;
}
ParamDimension* defaultDim = &g_defaultDim;
