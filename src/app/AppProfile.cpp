#include "app/AppProfile.h"

CProfile& TheAppProfile() {
    static CProfile profile;
    return profile;
}
