console.log("")
