// Every own method of the sixteen interfaces: M(interface, method number, parameter shape, name).
// Method numbers count the three base methods, so own methods start at 3; the number is also
// the operation number on the wire. Methods the program calls carry their names.
#pragma once

#define QOB_METHODS_IZentControlI(M)                                                              \
    M(IZentControlI, 3, P1, Method3) M(IZentControlI, 4, P2, Method4) M(IZentControlI, 5, P2, Method5) \
    M(IZentControlI, 6, P1, Method6) M(IZentControlI, 7, P1, Method7) M(IZentControlI, 8, P1, Method8) \
    M(IZentControlI, 9, P1, Method9) M(IZentControlI, 10, P3, Method10)                               \
    M(IZentControlI, 11, P1, Method11) M(IZentControlI, 12, P1, Method12)                             \
    M(IZentControlI, 13, P4, ResetExtension) M(IZentControlI, 14, P2, Method14)                       \
    M(IZentControlI, 15, P4, Method15) M(IZentControlI, 16, P1, Method16)                             \
    M(IZentControlI, 17, P1, Method17) M(IZentControlI, 18, P1, Method18)                             \
    M(IZentControlI, 19, P4, Method19) M(IZentControlI, 20, P1, Method20)                             \
    M(IZentControlI, 21, P5, Method21) M(IZentControlI, 22, P6, Method22)                             \
    M(IZentControlI, 23, P6, Method23) M(IZentControlI, 24, P7, Method24)                             \
    M(IZentControlI, 25, P8, Method25) M(IZentControlI, 26, P9, MailboxShare)

#define QOB_METHODS_IZentGetI(M)                                                                        \
    M(IZentGetI, 3, P2, Method3) M(IZentGetI, 4, P2, GetSystemConfig) M(IZentGetI, 5, P2, GetExtensionList) \
    M(IZentGetI, 6, P2, Method6) M(IZentGetI, 7, P2, GetWorkgroupList) M(IZentGetI, 8, P2, Method8)         \
    M(IZentGetI, 9, P2, Method9) M(IZentGetI, 10, P4, Method10) M(IZentGetI, 11, P2, Method11)              \
    M(IZentGetI, 12, P1, Method12) M(IZentGetI, 13, P10, Method13) M(IZentGetI, 14, P10, Method14)          \
    M(IZentGetI, 15, P10, Method15) M(IZentGetI, 16, P10, Method16) M(IZentGetI, 17, P11, Method17)         \
    M(IZentGetI, 18, P2, Method18) M(IZentGetI, 19, P12, Method19) M(IZentGetI, 20, P13, Method20)          \
    M(IZentGetI, 21, P14, Method21) M(IZentGetI, 22, P15, Method22) M(IZentGetI, 23, P16, Method23)         \
    M(IZentGetI, 24, P17, GetRecordDefinition) M(IZentGetI, 25, P18, Method25)                              \
    M(IZentGetI, 26, P2, Method26) M(IZentGetI, 27, P10, Method27)

#define QOB_METHODS_IZentGet2I(M)                                                                     \
    M(IZentGet2I, 3, P2, Method3) M(IZentGet2I, 4, P1, Method4) M(IZentGet2I, 5, P1, Method5)             \
    M(IZentGet2I, 6, P2, Method6) M(IZentGet2I, 7, P19, Method7) M(IZentGet2I, 8, P2, Method8)            \
    M(IZentGet2I, 9, P20, Method9)

#define QOB_METHODS_IZentChange2I(M)                                                                  \
    M(IZentChange2I, 3, P21, Method3) M(IZentChange2I, 4, P22, Method4) M(IZentChange2I, 5, P23, Method5) \
    M(IZentChange2I, 6, P18, Method6) M(IZentChange2I, 7, P22, Method7)

#define QOB_METHODS_IZentChangeI(M)                                                                     \
    M(IZentChangeI, 3, P22, Method3) M(IZentChangeI, 4, P4, Method4) M(IZentChangeI, 5, P18, AddExtension) \
    M(IZentChangeI, 6, P22, ReplaceExtension) M(IZentChangeI, 7, P22, ReplaceWorkgroup)                   \
    M(IZentChangeI, 8, P18, AddWorkgroup) M(IZentChangeI, 9, P22, ChangeMembership)                       \
    M(IZentChangeI, 10, P22, Method10) M(IZentChangeI, 11, P22, Method11)                                 \
    M(IZentChangeI, 12, P22, Method12) M(IZentChangeI, 13, P22, Method13)                                 \
    M(IZentChangeI, 14, P21, Method14) M(IZentChangeI, 15, P24, Method15)

#define QOB_METHODS_IZentDeleteI(M)                                                   \
    M(IZentDeleteI, 3, P4, DeleteExtension) M(IZentDeleteI, 4, P22, DeleteWorkgroup) \
    M(IZentDeleteI, 5, P5, Method5) M(IZentDeleteI, 6, P22, Method6)

#define QOB_METHODS_IZentITGTableSetupI(M)                                                       \
    M(IZentITGTableSetupI, 3, P2, GetITGTable) M(IZentITGTableSetupI, 4, P25, Method4)          \
    M(IZentITGTableSetupI, 5, P26, GetLocationCodeLength) M(IZentITGTableSetupI, 6, P5, Method6) \
    M(IZentITGTableSetupI, 7, P26, Method7) M(IZentITGTableSetupI, 8, P5, Method8)

#define QOB_METHODS_IZentITGTrafficDataI(M)                                                   \
    M(IZentITGTrafficDataI, 3, P2, Method3) M(IZentITGTrafficDataI, 4, P7, Method4)          \
    M(IZentITGTrafficDataI, 5, P2, Method5) M(IZentITGTrafficDataI, 6, P27, Method6)         \
    M(IZentITGTrafficDataI, 7, P2, Method7) M(IZentITGTrafficDataI, 8, P25, Method8)

#define QOB_METHODS_IZentDumpI(M)                                                            \
    M(IZentDumpI, 3, P1, Method3) M(IZentDumpI, 4, P3, Method4) M(IZentDumpI, 5, P4, Method5) \
    M(IZentDumpI, 6, P1, Method6)

#define QOB_METHODS_IZentAdviseSink(M) M(IZentAdviseSink, 3, P28, Method3)

#define QOB_METHODS_IZentStatusI(M) M(IZentStatusI, 3, P29, Method3) M(IZentStatusI, 4, P5, Method4)

#define QOB_METHODS_IZentReAdviseI(M) M(IZentReAdviseI, 3, P30, Method3)

#define QOB_METHODS_IZentHWConfigI(M)                                       \
    M(IZentHWConfigI, 3, P31, Method3) M(IZentHWConfigI, 4, P32, Method4) \
    M(IZentHWConfigI, 5, P33, Method5) M(IZentHWConfigI, 6, P34, Method6)

#define QOB_METHODS_IZentONAI(M) M(IZentONAI, 3, P35, ReadONAData) M(IZentONAI, 4, P36, WriteONAData)

#define QOB_METHODS_IZentPConnectI(M) \
    M(IZentPConnectI, 3, P2, Method3) M(IZentPConnectI, 4, P22, Method4) M(IZentPConnectI, 5, P22, Method5)

#define QOB_METHODS_IZentOKLInterface(M)                                                                    \
    M(IZentOKLInterface, 3, P26, Method3) M(IZentOKLInterface, 4, P2, Method4)                              \
    M(IZentOKLInterface, 5, P22, Method5) M(IZentOKLInterface, 6, P26, Method6)                             \
    M(IZentOKLInterface, 7, P2, Method7) M(IZentOKLInterface, 8, P37, Method8)                              \
    M(IZentOKLInterface, 9, P38, Method9) M(IZentOKLInterface, 10, P39, Method10)                           \
    M(IZentOKLInterface, 11, P40, Method11) M(IZentOKLInterface, 12, P37, Method12)                         \
    M(IZentOKLInterface, 13, P26, Method13) M(IZentOKLInterface, 14, P2, Method14)                          \
    M(IZentOKLInterface, 15, P22, Method15) M(IZentOKLInterface, 16, P22, Method16)                         \
    M(IZentOKLInterface, 17, P2, Method17) M(IZentOKLInterface, 18, P22, Method18)                          \
    M(IZentOKLInterface, 19, P2, Method19) M(IZentOKLInterface, 20, P22, Method20)                          \
    M(IZentOKLInterface, 21, P41, QueryExtDataSize) M(IZentOKLInterface, 22, P42, ReadExtData)              \
    M(IZentOKLInterface, 23, P43, WriteExtData) M(IZentOKLInterface, 24, P41, QueryExtBufferSize)           \
    M(IZentOKLInterface, 25, P44, Method25) M(IZentOKLInterface, 26, P45, Method26)                         \
    M(IZentOKLInterface, 27, P46, Method27) M(IZentOKLInterface, 28, P22, Method28)                         \
    M(IZentOKLInterface, 29, P46, Method29) M(IZentOKLInterface, 30, P22, Method30)                         \
    M(IZentOKLInterface, 31, P2, Method31) M(IZentOKLInterface, 32, P36, Method32)                          \
    M(IZentOKLInterface, 33, P47, Method33) M(IZentOKLInterface, 34, P36, Method34)                         \
    M(IZentOKLInterface, 35, P35, Method35) M(IZentOKLInterface, 36, P2, Method36)                          \
    M(IZentOKLInterface, 37, P5, Method37) M(IZentOKLInterface, 38, P26, Method38)                          \
    M(IZentOKLInterface, 39, P2, Method39) M(IZentOKLInterface, 40, P22, Method40)                          \
    M(IZentOKLInterface, 41, P48, QueryItemSize) M(IZentOKLInterface, 42, P3, ReadItem)                     \
    M(IZentOKLInterface, 43, P49, WriteItem) M(IZentOKLInterface, 44, P50, Method44)                        \
    M(IZentOKLInterface, 45, P2, Method45) M(IZentOKLInterface, 46, P35, Method46)                          \
    M(IZentOKLInterface, 47, P22, Method47) M(IZentOKLInterface, 48, P36, Method48)                         \
    M(IZentOKLInterface, 49, P26, Method49) M(IZentOKLInterface, 50, P2, Method50)                          \
    M(IZentOKLInterface, 51, P22, Method51) M(IZentOKLInterface, 52, P51, Method52)                         \
    M(IZentOKLInterface, 53, P52, Method53) M(IZentOKLInterface, 54, P53, Method54)                         \
    M(IZentOKLInterface, 55, P2, Method55) M(IZentOKLInterface, 56, P22, Method56)
