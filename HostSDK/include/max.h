// Everything a plug-in of the host includes.
#pragma once

#include "windows.h"
#include "maxtypes.h"
#include "point2.h"
#include "point3.h"
#include "color.h"
#include "matrix3.h"
#include "strclass.h"
#include "hostutil.h"
#include "custcont.h"
#include "ref.h"
#include "iparamb.h"
#include "ioapi.h"
#include "plugapi.h"
#include "utilapi.h"
#include "imtl.h"
