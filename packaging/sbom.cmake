# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Run by CPack once it has installed a package's files: writes into the
# package an SPDX 2.3 document of them, and a copy beside the package as
# PACKAGE-FILE.spdx.json. It lists every file with its SHA-1 and SHA-256,
# the packages they were built from (CPACK_KELVARA_COMPONENTS), and on
# Debian the packages that Depends names, with their version ranges, found
# as CPack finds them. Its time is SOURCE_DATE_EPOCH where that is set, so
# that the same files give the same document.

function(json_string variable value)
    string(REPLACE "\\" "\\\\" value "${value}")
    string(REPLACE "\"" "\\\"" value "${value}")
    set(${variable} "\"${value}\"" PARENT_SCOPE)
endfunction()

function(spdx_id variable prefix name)
    string(REGEX REPLACE "[^A-Za-z0-9.-]" "-" name "${name}")
    set(${variable} "SPDXRef-${prefix}-${name}" PARENT_SCOPE)
endfunction()

# A package entry; fields come as NAME VALUE pairs, written in that order.
function(add_package id)
    set(entry "    {\n      \"SPDXID\": \"${id}\"")
    set(fields ${ARGN})
    while(fields)
        list(POP_FRONT fields name value)
        if(name STREQUAL "externalRefs")
            set(entry "${entry},\n      \"externalRefs\": [{\"referenceCategory\": \"PACKAGE-MANAGER\", \"referenceType\": \"purl\", \"referenceLocator\": \"${value}\"}]")
        elseif(name STREQUAL "filesAnalyzed")
            set(entry "${entry},\n      \"filesAnalyzed\": ${value}")
        else()
            json_string(value "${value}")
            set(entry "${entry},\n      \"${name}\": ${value}")
        endif()
    endwhile()
    set_property(GLOBAL APPEND PROPERTY sbom_packages "${entry}\n    }")
endfunction()

function(relate from type to)
    set_property(GLOBAL APPEND PROPERTY sbom_relationships
        "    {\"spdxElementId\": \"${from}\", \"relationshipType\": \"${type}\", \"relatedSpdxElement\": \"${to}\"}")
endfunction()

# Debian's package versions in a purl: '+' and an epoch's ':' escaped.
function(purl_version variable version)
    string(REPLACE "+" "%2B" version "${version}")
    string(REPLACE ":" "%3A" version "${version}")
    set(${variable} "${version}" PARENT_SCOPE)
endfunction()

set(root "${CPACK_TEMPORARY_DIRECTORY}")
set(document_path "${root}${CPACK_PACKAGING_INSTALL_PREFIX}/${CPACK_KELVARA_SBOM}")
if(CPACK_GENERATOR STREQUAL "DEB")
    # The names CPack gives the package, which it works out only later.
    execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE architecture
        OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    if(NOT CPACK_DEBIAN_PACKAGE_VERSION)
        set(CPACK_DEBIAN_PACKAGE_VERSION "${CPACK_PACKAGE_VERSION}")
    endif()
    set(package_name "${CPACK_PACKAGE_NAME}_${CPACK_DEBIAN_PACKAGE_VERSION}_${architecture}")
    set(package_file "${package_name}.deb")
elseif(CPACK_GENERATOR STREQUAL "NSIS")
    set(package_name "${CPACK_PACKAGE_FILE_NAME}")
    set(package_file "${package_name}.exe")
else()
    set(package_name "${CPACK_PACKAGE_FILE_NAME}")
    set(package_file "${package_name}.zip")
endif()

string(TIMESTAMP created "%Y-%m-%dT%H:%M:%SZ" UTC)
set_property(GLOBAL PROPERTY sbom_packages)
set_property(GLOBAL PROPERTY sbom_relationships)

# The package a user downloads: Kelvara at its commit, holding every file.
set(kelvara SPDXRef-Package-kelvara)
add_package(${kelvara}
    name "${CPACK_PACKAGE_NAME}"
    versionInfo "${CPACK_PACKAGE_VERSION}"
    packageFileName "${package_file}"
    supplier "Organization: ${CPACK_PACKAGE_VENDOR}"
    downloadLocation NOASSERTION
    homepage "${CPACK_PACKAGE_HOMEPAGE_URL}"
    sourceInfo "built from commit ${CPACK_KELVARA_COMMIT}"
    filesAnalyzed false
    licenseConcluded BSD-3-Clause
    licenseDeclared BSD-3-Clause
    copyrightText "Copyright The Kelvara developers"
    externalRefs "pkg:generic/kelvara@${CPACK_PACKAGE_VERSION}")
relate(SPDXRef-DOCUMENT DESCRIBES ${kelvara})

# The packages the files were built from: for each name in
# CPACK_KELVARA_COMPONENTS, CPACK_KELVARA_<name>_VERSION (its Debian
# version), _LICENSE, _ORIGINATOR, _FILES (a regular expression for the
# files built from it) and _LINKS ("TYPE:FILE" items: FILE links it so).
foreach(name IN LISTS CPACK_KELVARA_COMPONENTS)
    set(version "${CPACK_KELVARA_${name}_VERSION}")
    spdx_id(id Package "${name}")
    purl_version(purl "${version}")
    add_package(${id}
        name "${name}"
        versionInfo "${version}"
        supplier "Organization: Debian"
        originator "Organization: ${CPACK_KELVARA_${name}_ORIGINATOR}"
        downloadLocation NOASSERTION
        sourceInfo "built from the Debian source package ${name} ${version}"
        filesAnalyzed false
        licenseConcluded "${CPACK_KELVARA_${name}_LICENSE}"
        licenseDeclared "${CPACK_KELVARA_${name}_LICENSE}"
        copyrightText NOASSERTION
        externalRefs "pkg:deb/debian/${name}@${purl}?arch=source")
    foreach(link IN LISTS CPACK_KELVARA_${name}_LINKS)
        string(REPLACE ":" ";" link "${link}")
        list(GET link 0 type)
        list(GET link 1 file)
        spdx_id(file_id File "${file}")
        relate(${file_id} ${type} ${id})
    endforeach()
endforeach()

# What a Debian package depends on, as CPack's own dpkg-shlibdeps run finds
# it, and the dependencies it names itself.
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
        set(range "")
        if(CMAKE_MATCH_3)
            set(range versionInfo "${CMAKE_MATCH_3}")
        endif()
        spdx_id(id Dependency "${name}")
        add_package(${id}
            name "${name}"
            ${range}
            downloadLocation NOASSERTION
            filesAnalyzed false
            comment "a Debian package that ${CPACK_PACKAGE_NAME} depends on: ${dependency}"
            externalRefs "pkg:deb/debian/${name}?arch=${architecture}")
        relate(${kelvara} DEPENDS_ON ${id})
    endforeach()
endif()

# Every file of the package but this document, in name order.
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${root}" "${root}/*")
list(SORT files)
set(file_entries "")
foreach(file IN LISTS files)
    if("${root}/${file}" STREQUAL document_path)
        continue()
    endif()
    file(SHA1 "${root}/${file}" sha1)
    file(SHA256 "${root}/${file}" sha256)
    spdx_id(id File "${file}")
    json_string(name "./${file}")
    list(APPEND file_entries "    {\"SPDXID\": \"${id}\", \"fileName\": ${name}, \"checksums\": [{\"algorithm\": \"SHA1\", \"checksumValue\": \"${sha1}\"}, {\"algorithm\": \"SHA256\", \"checksumValue\": \"${sha256}\"}]}")
    relate(${kelvara} CONTAINS ${id})
    foreach(name IN LISTS CPACK_KELVARA_COMPONENTS)
        if(CPACK_KELVARA_${name}_FILES AND file MATCHES "^(${CPACK_KELVARA_${name}_FILES})$")
            spdx_id(component Package "${name}")
            relate(${id} GENERATED_FROM ${component})
        endif()
    endforeach()
endforeach()

get_property(packages GLOBAL PROPERTY sbom_packages)
get_property(relationships GLOBAL PROPERTY sbom_relationships)
list(JOIN packages ",\n" packages)
list(JOIN file_entries ",\n" file_entries)
list(JOIN relationships ",\n" relationships)
set(namespace "${CPACK_PACKAGE_HOMEPAGE_URL}spdx/${package_name}-${CPACK_KELVARA_COMMIT}")
file(WRITE "${document_path}" "{
  \"spdxVersion\": \"SPDX-2.3\",
  \"dataLicense\": \"CC0-1.0\",
  \"SPDXID\": \"SPDXRef-DOCUMENT\",
  \"name\": \"${package_file}\",
  \"documentNamespace\": \"${namespace}\",
  \"creationInfo\": {
    \"created\": \"${created}\",
    \"creators\": [\"Organization: ${CPACK_PACKAGE_VENDOR}\", \"Tool: CPack-${CMAKE_VERSION}\"]
  },
  \"packages\": [
${packages}
  ],
  \"files\": [
${file_entries}
  ],
  \"relationships\": [
${relationships}
  ]
}
")
configure_file("${document_path}" "${CPACK_PACKAGE_DIRECTORY}/${package_file}.spdx.json" COPYONLY)
