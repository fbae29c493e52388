// The layout-constraint language in one include.
#pragma once
#include "Clasp/Constraint.h"
#include "Clasp/ConstraintConfig.h"
#include "Clasp/ConstraintLayoutGuideDSL.h"
#include "Clasp/ConstraintLayoutSupportDSL.h"
#include "Clasp/ConstraintMaker.h"
#include "Clasp/ConstraintViewDSL.h"
#include "Clasp/LayoutConstraint.h"
