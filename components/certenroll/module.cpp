#include "components/certenroll/module.h"

#include "components/certenroll/objects.h"

namespace pw::certenroll {
namespace {

const com::ServedClass kClasses[] = {
    {&CLSID_CObjectId, "CObjectId Class", "X509Enrollment.CObjectId.1", createObjectId},
    {&CLSID_CObjectIds, "CObjectIds Class", "X509Enrollment.CObjectIds.1", createObjectIds},
    {&CLSID_CX500DistinguishedName, "CX500DistinguishedName Class",
     "X509Enrollment.CX500DistinguishedName.1", createDistinguishedName},
    {&CLSID_CX509ExtensionKeyUsage, "CX509ExtensionKeyUsage Class",
     "X509Enrollment.CX509ExtensionKeyUsage.1", createKeyUsage},
    {&CLSID_CX509ExtensionEnhancedKeyUsage, "CX509ExtensionEnhancedKeyUsage Class",
     "X509Enrollment.CX509ExtensionEnhancedKeyUsage.1", createEnhancedKeyUsage},
    {&CLSID_CX509CertificateRequestPkcs10, "CX509CertificateRequestPkcs10 Class",
     "X509Enrollment.CX509CertificateRequestPkcs10.1", createRequestPkcs10},
    {&CLSID_CX509Enrollment, "CX509Enrollment Class", "X509Enrollment.CX509Enrollment.1",
     createEnrollment},
};

}  // namespace

std::span<const com::ServedClass> classes() { return kClasses; }

}  // namespace pw::certenroll
