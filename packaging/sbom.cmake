# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Run by CPack once it has installed a package's files: writes into the
# package an SPDX 2.3 document of them, and a copy beside the package as
# PACKAGE-FILE.spdx.json. It lists every file with its SHA-1 and SHA-256,
# the packages they were built from (CPACK_KELVARA_COMPONENTS), and on
# Debian the packages that Depends names, with their version ranges, found
# as CPack finds them. Its time is SOURCE_DATE_EPOCH where that is set, and
# its namespace a hash of its content, so that the same files give the same
# document and different files a different one. CMake's JSON writer lays
# it out.

# A JSON string of any CMake string; string(JSON) refuses what is not JSON,
# so a character left unescaped would stop the package, not corrupt it.
function(json_string variable value)
    string(REPLACE "\\" "\\\\" value "${value}")
    string(REPLACE "\"" "\\\"" value "${value}")
    string(REPLACE "\n" "\\n" value "${value}")
    string(REPLACE "\t" "\\t" value "${value}")
    string(REPLACE "\r" "\\r" value "${value}")
    set(${variable} "\"${value}\"" PARENT_SCOPE)
endfunction()

# Appends to the JSON array at KEY of the document an object of the NAME
# VALUE pairs given; true, false and a value that starts with [ or { are
# JSON already.
function(append_object key)
    set(object "{}")
    set(fields ${ARGN})
    while(fields)
        list(POP_FRONT fields name value)
        if(NOT value MATCHES "^([[{]|true$|false$)")
            json_string(value "${value}")
        endif()
        string(JSON object SET "${object}" "${name}" "${value}")
    endwhile()
    string(JSON length LENGTH "${document}" ${key})
    string(JSON document SET "${document}" ${key} ${length} "${object}")
    set(document "${document}" PARENT_SCOPE)
endfunction()

# An SPDX id for a name: its letters, digits, dots and dashes, with a hash
# of the name where others had to go, so that two names never share one.
function(spdx_id variable prefix name)
    string(REGEX REPLACE "[^A-Za-z0-9.-]" "-" id "${name}")
    if(NOT id STREQUAL name)
        string(SHA256 hash "${name}")
        string(SUBSTRING "${hash}" 0 8 hash)
        set(id "${id}-${hash}")
    endif()
    set(${variable} "SPDXRef-${prefix}-${id}" PARENT_SCOPE)
endfunction()

macro(relate from type to)
    append_object(relationships spdxElementId "${from}" relationshipType ${type} relatedSpdxElement "${to}" ${ARGN})
endmacro()

function(purl_reference variable locator)
    json_string(locator "${locator}")
    set(${variable} "[{\"referenceCategory\": \"PACKAGE-MANAGER\", \"referenceType\": \"purl\", \"referenceLocator\": ${locator}}]"
        PARENT_SCOPE)
endfunction()

# Debian's package versions in a purl: '+' and an epoch's ':' escaped.
function(purl_version variable version)
    string(REPLACE "+" "%2B" version "${version}")
    string(REPLACE ":" "%3A" version "${version}")
    set(${variable} "${version}" PARENT_SCOPE)
endfunction()

set(root "${CPACK_TEMPORARY_DIRECTORY}")
set(document_name "${CPACK_PACKAGING_INSTALL_PREFIX}/${CPACK_KELVARA_SBOM}")
string(REGEX REPLACE "^/+" "" document_name "${document_name}")
set(document_path "${root}/${document_name}")
set(version "${CPACK_PACKAGE_VERSION}")
if(CPACK_GENERATOR STREQUAL "DEB")
    # The names CPack gives the package, which it works out only later.
    execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE architecture
        OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    if(CPACK_DEBIAN_PACKAGE_VERSION)
        set(version "${CPACK_DEBIAN_PACKAGE_VERSION}")
    endif()
    set(package_file "${CPACK_PACKAGE_NAME}_${version}_${architecture}.deb")
elseif(CPACK_GENERATOR STREQUAL "NSIS")
    set(package_file "${CPACK_PACKAGE_FILE_NAME}.exe")
else()
    set(package_file "${CPACK_PACKAGE_FILE_NAME}.zip")
endif()

string(TIMESTAMP created "%Y-%m-%dT%H:%M:%SZ" UTC)
json_string(package_file_json "${package_file}")
set(document "{\"spdxVersion\": \"SPDX-2.3\", \"dataLicense\": \"CC0-1.0\", \"SPDXID\": \"SPDXRef-DOCUMENT\",
    \"name\": ${package_file_json}, \"creationInfo\": {\"created\": \"${created}\",
    \"creators\": [\"Organization: ${CPACK_PACKAGE_VENDOR}\", \"Tool: CPack-${CMAKE_VERSION}\"]},
    \"packages\": [], \"files\": [], \"relationships\": []}")

# Every file of the package but this document, in name order, each
# GENERATED_FROM the component whose files it is among.
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${root}" "${root}/*")
list(SORT files)
list(REMOVE_ITEM files "${document_name}")
set(sha1s "")
set(kelvara SPDXRef-Package-kelvara)
foreach(file IN LISTS files)
    file(SHA1 "${root}/${file}" sha1)
    file(SHA256 "${root}/${file}" sha256)
    list(APPEND sha1s ${sha1})
    spdx_id(id File "${file}")
    append_object(files SPDXID ${id} fileName "./${file}" checksums
        "[{\"algorithm\": \"SHA1\", \"checksumValue\": \"${sha1}\"}, {\"algorithm\": \"SHA256\", \"checksumValue\": \"${sha256}\"}]")
    relate(${kelvara} CONTAINS ${id})
    foreach(name IN LISTS CPACK_KELVARA_COMPONENTS)
        if(CPACK_KELVARA_${name}_FILES AND file MATCHES "^(${CPACK_KELVARA_${name}_FILES})$")
            spdx_id(component Package "${name}")
            relate(${id} GENERATED_FROM ${component})
        endif()
    endforeach()
endforeach()
# SPDX's package verification code: the SHA-1 of the files' SHA-1s,
# sorted and joined.
list(SORT sha1s)
list(JOIN sha1s "" sha1s)
string(SHA1 verification "${sha1s}")

# The package a user downloads: Kelvara at its commit, holding every file,
# under the licences of all it holds.
set(concluded "${CPACK_KELVARA_FILES_LICENSE}")
foreach(name IN LISTS CPACK_KELVARA_COMPONENTS)
    set(licence "${CPACK_KELVARA_${name}_LICENSE}")
    if(licence MATCHES " (OR|AND) ")
        set(licence "(${licence})")
    endif()
    set(concluded "${concluded} AND ${licence}")
endforeach()
json_string(excluded "./${document_name}")
purl_version(purl "${version}")
purl_reference(reference "pkg:generic/kelvara@${purl}")
append_object(packages
    SPDXID ${kelvara}
    name "${CPACK_PACKAGE_NAME}"
    versionInfo "${version}"
    packageFileName "${package_file}"
    supplier "Organization: ${CPACK_PACKAGE_VENDOR}"
    downloadLocation NOASSERTION
    homepage "${CPACK_PACKAGE_HOMEPAGE_URL}"
    sourceInfo "built from commit ${CPACK_KELVARA_COMMIT}"
    filesAnalyzed true
    packageVerificationCode "{\"packageVerificationCodeValue\": \"${verification}\", \"packageVerificationCodeExcludedFiles\": [${excluded}]}"
    licenseConcluded "${concluded}"
    licenseDeclared BSD-3-Clause
    copyrightText "Copyright The Kelvara developers"
    externalRefs "${reference}")
relate(SPDXRef-DOCUMENT DESCRIBES ${kelvara})

# The packages the files were built from: for each name in
# CPACK_KELVARA_COMPONENTS, CPACK_KELVARA_<name>_VERSION (its Debian
# version), _LICENSE, _ORIGINATOR, _FILES (a regular expression for the
# files built from it) and _LINKS ("TYPE:FILE" items: FILE links it so).
foreach(name IN LISTS CPACK_KELVARA_COMPONENTS)
    set(component_version "${CPACK_KELVARA_${name}_VERSION}")
    spdx_id(id Package "${name}")
    purl_version(purl "${component_version}")
    purl_reference(reference "pkg:deb/debian/${name}@${purl}?arch=source")
    append_object(packages
        SPDXID ${id}
        name "${name}"
        versionInfo "${component_version}"
        supplier "Organization: Debian"
        originator "Organization: ${CPACK_KELVARA_${name}_ORIGINATOR}"
        downloadLocation NOASSERTION
        sourceInfo "built from the Debian source package ${name} ${component_version}"
        filesAnalyzed false
        licenseConcluded "${CPACK_KELVARA_${name}_LICENSE}"
        licenseDeclared "${CPACK_KELVARA_${name}_LICENSE}"
        copyrightText NOASSERTION
        externalRefs "${reference}")
    foreach(link IN LISTS CPACK_KELVARA_${name}_LINKS)
        string(REPLACE ":" ";" link "${link}")
        list(GET link 0 type)
        list(GET link 1 file)
        spdx_id(file_id File "${file}")
        relate(${file_id} ${type} ${id})
    endforeach()
endforeach()

# What a Debian package depends on, as CPack's own dpkg-shlibdeps run finds
# it, and the dependencies it names itself; the version range each needs
# is the relationship's comment.
if(CPACK_GENERATOR STREQUAL "DEB")
    file(GLOB_RECURSE installed LIST_DIRECTORIES false "${root}/*")
    set(binaries "")
    foreach(file IN LISTS installed)
        file(READ "${file}" magic LIMIT 4 HEX)
        if(magic STREQUAL "7f454c46")
            list(APPEND binaries "${file}")
        endif()
    endforeach()
    set(shlibs_dir "${CPACK_TOPLEVEL_DIRECTORY}/sbom-shlibdeps")
    file(MAKE_DIRECTORY "${shlibs_dir}/debian")
    file(WRITE "${shlibs_dir}/debian/control" "Source: ${CPACK_PACKAGE_NAME}\n\nPackage: ${CPACK_PACKAGE_NAME}\nArchitecture: any\n")
    # Its warnings, about where an $ORIGIN points in a folder that is not
    # yet a package, are CPack's to give.
    execute_process(COMMAND dpkg-shlibdeps -O ${binaries}
        WORKING_DIRECTORY "${shlibs_dir}" OUTPUT_VARIABLE shlibs ERROR_VARIABLE errors
        RESULT_VARIABLE result OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "dpkg-shlibdeps failed: ${errors}")
    endif()
    string(REGEX REPLACE "^shlibs:Depends=" "" shlibs "${shlibs}")
    string(REPLACE ", " ";" dependencies "${CPACK_DEBIAN_PACKAGE_DEPENDS}, ${shlibs}")
    foreach(dependency IN LISTS dependencies)
        string(REGEX MATCH "^([^ ]+)( \\((.*)\\))?$" _ "${dependency}")
        set(name "${CMAKE_MATCH_1}")
        set(range "any version")
        if(CMAKE_MATCH_3)
            set(range "version ${CMAKE_MATCH_3}")
        endif()
        spdx_id(id Dependency "${name}")
        purl_reference(reference "pkg:deb/debian/${name}?arch=${architecture}")
        append_object(packages
            SPDXID ${id}
            name "${name}"
            downloadLocation NOASSERTION
            filesAnalyzed false
            comment "a Debian package that ${CPACK_PACKAGE_NAME} depends on"
            externalRefs "${reference}")
        relate(${kelvara} DEPENDS_ON ${id} comment "${CPACK_PACKAGE_NAME} needs ${range} of ${name}")
    endforeach()
endif()

# The namespace names this document alone: a hash of all it says else.
string(SHA256 content "${document}")
json_string(namespace "${CPACK_PACKAGE_HOMEPAGE_URL}spdx/${package_file}-${content}")
string(JSON document SET "${document}" documentNamespace "${namespace}")
file(WRITE "${document_path}" "${document}\n")
configure_file("${document_path}" "${CPACK_PACKAGE_DIRECTORY}/${package_file}.spdx.json" COPYONLY)
