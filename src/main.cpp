#include "app/KorvaneApp.h"

wxIMPLEMENT_APP(CKorvaneApp);
