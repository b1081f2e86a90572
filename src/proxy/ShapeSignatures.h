// C++ parameter lists of the 53 parameter shapes (after the interface reference), and the
// argument names to forward them. Reference parameters are pointers that must not be null;
// out arrays are caller-allocated, their capacity given by the named count.
#pragma once

#define QOB_SHAPE_IDS(X)                                                                                      \
    X(P1) X(P2) X(P3) X(P4) X(P5) X(P6) X(P7) X(P8) X(P9) X(P10) X(P11) X(P12) X(P13) X(P14) X(P15) X(P16)  \
    X(P17) X(P18) X(P19) X(P20) X(P21) X(P22) X(P23) X(P24) X(P25) X(P26) X(P27) X(P28) X(P29) X(P30) X(P31) \
    X(P32) X(P33) X(P34) X(P35) X(P36) X(P37) X(P38) X(P39) X(P40) X(P41) X(P42) X(P43) X(P44) X(P45) X(P46) \
    X(P47) X(P48) X(P49) X(P50) X(P51) X(P52) X(P53)

#define QOB_SIG_P1 (int32_t a1, int32_t* a2, uint8_t* a3)
#define QOB_SIG_P2 (int32_t* a1, uint8_t* a2)
#define QOB_SIG_P3 (int32_t a1, int32_t a2, int32_t* a3, uint8_t* a4)
#define QOB_SIG_P4 (int32_t a1, const uint8_t* a2, int32_t* a3, uint8_t* a4)
#define QOB_SIG_P5 (int32_t a1)
#define QOB_SIG_P6 (int32_t a1, int32_t a2)
#define QOB_SIG_P7 ()
#define QOB_SIG_P8 (uint8_t* a1)
#define QOB_SIG_P9 (int8_t a1, const char* a2, const char* a3, const char* a4)
#define QOB_SIG_P10 (const char* a1, int32_t* a2, int32_t* a3)
#define QOB_SIG_P11 (int32_t a1, int32_t* a2)
#define QOB_SIG_P12 (int8_t* a1, ZentLongPair* a2, ZentLongPair* a3)
#define QOB_SIG_P13 (int32_t* a1, ZentLongPair* a2)
#define QOB_SIG_P14 (int32_t a1, int32_t a2, uint8_t* a3)
#define QOB_SIG_P15 (const char* a1, uint8_t* a2)
#define QOB_SIG_P16 (int32_t a1, int32_t* a2, int32_t* a3)
#define QOB_SIG_P17 (uint8_t a1, int32_t* a2, uint8_t* a3)
#define QOB_SIG_P18 (int32_t a1, uint8_t* a2)
#define QOB_SIG_P19 (int32_t* a1, uint8_t* a2, int32_t a3)
#define QOB_SIG_P20 (int32_t* a1, uint8_t* a2)
#define QOB_SIG_P21 (int32_t a1, int32_t a2, const uint8_t* a3)
#define QOB_SIG_P22 (int32_t a1, const uint8_t* a2)
#define QOB_SIG_P23 (int32_t a1, const uint8_t* a2, const uint8_t* a3)
#define QOB_SIG_P24 (int8_t a1, ZentLongPair a2, ZentLongPair a3)
#define QOB_SIG_P25 (int32_t* a1, const uint8_t* a2)
#define QOB_SIG_P26 (int32_t* a1)
#define QOB_SIG_P27 (int32_t* a1, int32_t* a2, uint8_t* a3)
#define QOB_SIG_P28 (int32_t a1, int32_t a2, const char* a3)
#define QOB_SIG_P29 (int32_t a1, IZentAdviseSink* a2, int32_t* a3)
#define QOB_SIG_P30 (IZentAdviseSink* a1, int32_t a2)
#define QOB_SIG_P31 (com::GUID a1, char* a2, int32_t* a3)
#define QOB_SIG_P32 (com::GUID a1, char* a2, int32_t* a3, uint8_t* a4)
#define QOB_SIG_P33 (com::GUID a1, const char16_t* a2, int32_t a3, int32_t a4, int32_t a5, int32_t* a6, uint8_t* a7)
#define QOB_SIG_P34 (com::GUID a1, const char16_t* a2, int32_t a3, int32_t a4, int32_t a5, int32_t a6, const uint8_t* a7)
#define QOB_SIG_P35 (const char* a1, int32_t* a2, uint8_t* a3)
#define QOB_SIG_P36 (const char* a1, int32_t a2, const uint8_t* a3)
#define QOB_SIG_P37 (int16_t a1, int32_t a2, const uint8_t* a3)
#define QOB_SIG_P38 (int16_t a1)
#define QOB_SIG_P39 (int16_t a1, int32_t* a2)
#define QOB_SIG_P40 (int16_t a1, int32_t* a2, uint8_t* a3)
#define QOB_SIG_P41 (const char* a1, int32_t* a2)
#define QOB_SIG_P42 (const char* a1, int32_t* a2, const int32_t* a3, uint8_t* a4)
#define QOB_SIG_P43 (const char* a1, int32_t a2, int32_t a3, const uint8_t* a4)
#define QOB_SIG_P44 (const char* a1, const int32_t* a2, uint8_t* a3)
#define QOB_SIG_P45 (int32_t a1, const uint8_t* a2, int32_t a3, const uint8_t* a4)
#define QOB_SIG_P46 (int32_t a1, uint8_t* a2)
#define QOB_SIG_P47 (const char* a1)
#define QOB_SIG_P48 (int32_t a1, int32_t a2, int32_t* a3)
#define QOB_SIG_P49 (int32_t a1, int32_t a2, int32_t a3, const uint8_t* a4)
#define QOB_SIG_P50 (int32_t* a1)
#define QOB_SIG_P51 (int32_t* a1, int32_t a2, uint8_t* a3)
#define QOB_SIG_P52 (char* a1, int32_t* a2, int32_t* a3, uint8_t* a4)
#define QOB_SIG_P53 (int32_t a1, int32_t a2, uint8_t* a3)

#define QOB_ARGS_0 ()
#define QOB_ARGS_1 (a1)
#define QOB_ARGS_2 (a1, a2)
#define QOB_ARGS_3 (a1, a2, a3)
#define QOB_ARGS_4 (a1, a2, a3, a4)
#define QOB_ARGS_7 (a1, a2, a3, a4, a5, a6, a7)

#define QOB_ARGS_P1 QOB_ARGS_3
#define QOB_ARGS_P2 QOB_ARGS_2
#define QOB_ARGS_P3 QOB_ARGS_4
#define QOB_ARGS_P4 QOB_ARGS_4
#define QOB_ARGS_P5 QOB_ARGS_1
#define QOB_ARGS_P6 QOB_ARGS_2
#define QOB_ARGS_P7 QOB_ARGS_0
#define QOB_ARGS_P8 QOB_ARGS_1
#define QOB_ARGS_P9 QOB_ARGS_4
#define QOB_ARGS_P10 QOB_ARGS_3
#define QOB_ARGS_P11 QOB_ARGS_2
#define QOB_ARGS_P12 QOB_ARGS_3
#define QOB_ARGS_P13 QOB_ARGS_2
#define QOB_ARGS_P14 QOB_ARGS_3
#define QOB_ARGS_P15 QOB_ARGS_2
#define QOB_ARGS_P16 QOB_ARGS_3
#define QOB_ARGS_P17 QOB_ARGS_3
#define QOB_ARGS_P18 QOB_ARGS_2
#define QOB_ARGS_P19 QOB_ARGS_3
#define QOB_ARGS_P20 QOB_ARGS_2
#define QOB_ARGS_P21 QOB_ARGS_3
#define QOB_ARGS_P22 QOB_ARGS_2
#define QOB_ARGS_P23 QOB_ARGS_3
#define QOB_ARGS_P24 QOB_ARGS_3
#define QOB_ARGS_P25 QOB_ARGS_2
#define QOB_ARGS_P26 QOB_ARGS_1
#define QOB_ARGS_P27 QOB_ARGS_3
#define QOB_ARGS_P28 QOB_ARGS_3
#define QOB_ARGS_P29 QOB_ARGS_3
#define QOB_ARGS_P30 QOB_ARGS_2
#define QOB_ARGS_P31 QOB_ARGS_3
#define QOB_ARGS_P32 QOB_ARGS_4
#define QOB_ARGS_P33 QOB_ARGS_7
#define QOB_ARGS_P34 QOB_ARGS_7
#define QOB_ARGS_P35 QOB_ARGS_3
#define QOB_ARGS_P36 QOB_ARGS_3
#define QOB_ARGS_P37 QOB_ARGS_3
#define QOB_ARGS_P38 QOB_ARGS_1
#define QOB_ARGS_P39 QOB_ARGS_2
#define QOB_ARGS_P40 QOB_ARGS_3
#define QOB_ARGS_P41 QOB_ARGS_2
#define QOB_ARGS_P42 QOB_ARGS_4
#define QOB_ARGS_P43 QOB_ARGS_4
#define QOB_ARGS_P44 QOB_ARGS_3
#define QOB_ARGS_P45 QOB_ARGS_4
#define QOB_ARGS_P46 QOB_ARGS_2
#define QOB_ARGS_P47 QOB_ARGS_1
#define QOB_ARGS_P48 QOB_ARGS_3
#define QOB_ARGS_P49 QOB_ARGS_4
#define QOB_ARGS_P50 QOB_ARGS_1
#define QOB_ARGS_P51 QOB_ARGS_3
#define QOB_ARGS_P52 QOB_ARGS_4
#define QOB_ARGS_P53 QOB_ARGS_3
